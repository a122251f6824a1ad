/* Declarations of the FreeBSD mount interface, written from statfs(2),
 * getfsstat(2) and getmntinfo(3), so that the FreeBSD branch of the
 * platform layer builds on Linux for the tests, which fake the calls.
 * There statfs and getmntinfo are renamed (see tests/CMakeLists.txt), as
 * the C library has calls of those names. */
#ifndef VORLIX_SHIM_SYS_MOUNT_H
#define VORLIX_SHIM_SYS_MOUNT_H
#include <stdint.h>
#include <sys/types.h>
#ifdef __cplusplus
extern "C" {
#endif
#define MFSNAMELEN 16
#define MNAMELEN 1024
#define STATFS_VERSION 0x20140518
#define MNT_WAIT 1
#define MNT_NOWAIT 2
/* What an EVFILT_FS kevent reports in fflags (kqueue(2)). */
#define VQ_NOTRESP 0x0001
#define VQ_NEEDAUTH 0x0002
#define VQ_LOWDISK 0x0004
#define VQ_MOUNT 0x0008
#define VQ_UNMOUNT 0x0010
#define VQ_DEAD 0x0020
#define MNT_RDONLY 0x0000000000000001ULL
#define MNT_LOCAL 0x0000000000001000ULL
/* fsid_t: the build machine's <sys/types.h> has one of the same shape (two 32-bit values). */
struct statfs {
    uint32_t f_version;
    uint32_t f_type;
    uint64_t f_flags;
    uint64_t f_bsize;
    uint64_t f_iosize;
    uint64_t f_blocks;
    uint64_t f_bfree;
    int64_t f_bavail;
    uint64_t f_files;
    int64_t f_ffree;
    uint64_t f_syncwrites;
    uint64_t f_asyncwrites;
    uint64_t f_syncreads;
    uint64_t f_asyncreads;
    uint32_t f_nvnodelistsize;
    uint32_t f_spare0;
    uint64_t f_spare[9];
    uint32_t f_namemax;
    uid_t f_owner;
    fsid_t f_fsid;
    char f_charspare[80];
    char f_fstypename[MFSNAMELEN];
    char f_mntfromname[MNAMELEN];
    char f_mntonname[MNAMELEN];
};
int statfs(const char *path, struct statfs *buf);
int fstatfs(int fd, struct statfs *buf);
int getfsstat(struct statfs *buf, long bufsize, int mode);
int getmntinfo(struct statfs **mntbufp, int mode);
int unmount(const char *dir, int flags);
#ifdef __cplusplus
}
#endif
#endif
