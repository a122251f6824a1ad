/* The fields of struct kinfo_proc and struct kinfo_file that the program
 * reads through kinfo_getallproc(3) and kinfo_getfile(3), with FreeBSD's
 * names and types; the real header holds many more. As on FreeBSD, it
 * brings <sys/proc.h> with it. For the FreeBSD branch built on Linux. */
#ifndef VORLIX_SHIM_SYS_USER_H
#define VORLIX_SHIM_SYS_USER_H
#include <limits.h>
#include <stdint.h>
#include <sys/types.h>
#include <sys/proc.h>

#define COMMLEN 19
#define WMESGLEN 8

struct kinfo_proc {
    int ki_structsize;
    pid_t ki_pid;
    pid_t ki_ppid;
    pid_t ki_pgid;
    pid_t ki_sid;
    uid_t ki_uid;
    uid_t ki_ruid;
    gid_t ki_rgid;
    long ki_flag;
    char ki_stat;
    char ki_wmesg[WMESGLEN + 1];
    char ki_comm[COMMLEN + 1];
};

#define KF_TYPE_NONE 0
#define KF_TYPE_VNODE 1
#define KF_TYPE_SOCKET 2
#define KF_TYPE_PIPE 3
#define KF_TYPE_FIFO 4

#define KF_VTYPE_VNON 0
#define KF_VTYPE_VREG 1
#define KF_VTYPE_VDIR 2
#define KF_VTYPE_VBLK 3
#define KF_VTYPE_VCHR 4

#define KF_FD_TYPE_CWD (-1)
#define KF_FD_TYPE_ROOT (-2)
#define KF_FD_TYPE_JAIL (-3)
#define KF_FD_TYPE_TEXT (-5)

#define KF_ATTR_VALID 0x0001

struct kinfo_file {
    int kf_structsize;
    int kf_type;
    int kf_fd;
    int kf_ref_count;
    int kf_flags;
    int kf_pad0;
    int64_t kf_offset;
    union {
        struct {
            int kf_file_type;
            int kf_spareint[3];
            uint64_t kf_spareint64[30];
            uint64_t kf_file_fsid;
            uint64_t kf_file_rdev;
            uint64_t kf_file_fileid;
            uint64_t kf_file_size;
            uint32_t kf_file_fsid_freebsd11;
            uint32_t kf_file_rdev_freebsd11;
            uint16_t kf_file_mode;
            uint16_t kf_file_pad0;
            uint32_t kf_file_pad1;
        } kf_file;
    } kf_un;
    uint16_t kf_status;
    uint16_t kf_pad1;
    int _kf_ispare0;
    uint64_t kf_cap_rights[2];
    uint64_t _kf_cap_spare;
    char kf_path[PATH_MAX];
};
#define kf_vnode_type kf_un.kf_file.kf_file_type
#endif
