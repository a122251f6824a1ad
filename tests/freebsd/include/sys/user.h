/* The fields of struct kinfo_proc that the program reads through
 * libprocstat(3), with FreeBSD's names and types; the real header holds
 * many more. For the FreeBSD branch built on Linux. */
#ifndef VORLIX_SHIM_SYS_USER_H
#define VORLIX_SHIM_SYS_USER_H
#include <sys/types.h>

#define COMMLEN 19

struct kinfo_proc {
    int ki_structsize;
    pid_t ki_pid;
    pid_t ki_ppid;
    uid_t ki_uid;
    char ki_comm[COMMLEN + 1];
};
#endif
