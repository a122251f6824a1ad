/* The disk ioctl DIOCGATTR and its argument, written from disk(4), so that
 * the FreeBSD branch builds on Linux for the tests, which rename ioctl and
 * fake it. */
#ifndef VORLIX_SHIM_SYS_DISK_H
#define VORLIX_SHIM_SYS_DISK_H
#include <stdint.h>
#include <sys/ioctl.h>
#include <sys/types.h>

#define DISK_IDENT_SIZE 256

struct diocgattr_arg {
    char name[64];
    int len;
    union {
        char str[DISK_IDENT_SIZE];
        off_t off;
        int i;
        uint16_t u16;
    } value;
};

#define DIOCGATTR _IOWR('d', 142, struct diocgattr_arg)
#endif
