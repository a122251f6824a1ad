/* libprocstat(3), the part the program uses: the processes, the files each
 * holds open, and what a vnode is. Written from the manual page, for the
 * FreeBSD branch built on Linux, where the tests fake the calls. Needs
 * <sys/queue.h> and <sys/user.h> first, as on FreeBSD. */
#ifndef VORLIX_SHIM_LIBPROCSTAT_H
#define VORLIX_SHIM_LIBPROCSTAT_H
#include <stdint.h>
#include <sys/queue.h>
#include <sys/types.h>

#define SPECNAMELEN 255

#define PS_FST_VTYPE_VREG 2
#define PS_FST_VTYPE_VDIR 3
#define PS_FST_VTYPE_VBLK 4
#define PS_FST_VTYPE_VCHR 5

#define PS_FST_TYPE_VNODE 1

#define PS_FST_UFLAG_RDIR 0x0001
#define PS_FST_UFLAG_CDIR 0x0002

struct kinfo_proc;
struct procstat;

struct filestat {
    int fs_type;
    int fs_flags;
    int fs_fflags;
    int fs_uflags;
    int fs_fd;
    int fs_ref_count;
    off_t fs_offset;
    void *fs_typedep;
    char *fs_path;
    STAILQ_ENTRY(filestat) next;
};

struct vnstat {
    uint64_t vn_fileid;
    uint64_t vn_size;
    uint64_t vn_dev;
    uint64_t vn_fsid;
    char *vn_mntdir;
    int vn_type;
    uint16_t vn_mode;
    char vn_devname[SPECNAMELEN + 1];
};

STAILQ_HEAD(filestat_list, filestat);

#ifdef __cplusplus
extern "C" {
#endif
struct procstat *procstat_open_sysctl(void);
void procstat_close(struct procstat *procstat);
struct kinfo_proc *procstat_getprocs(struct procstat *procstat, int what, int arg, unsigned int *count);
void procstat_freeprocs(struct procstat *procstat, struct kinfo_proc *p);
struct filestat_list *procstat_getfiles(struct procstat *procstat, struct kinfo_proc *kp, int mmapped);
void procstat_freefiles(struct procstat *procstat, struct filestat_list *head);
int procstat_get_vnode_info(struct procstat *procstat, struct filestat *fst, struct vnstat *vn, char *errbuf);
#ifdef __cplusplus
}
#endif
#endif
