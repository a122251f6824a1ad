#include "platform/mount_root.h"

#include "platform/mount_table.h"
#include "platform/target.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the folder fd is the root of the filesystem it lies on: its ".."
// is on another one, or is itself ("/").
bool at_filesystem_root(int fd)
{
    struct stat here, up;
    if (fstat(fd, &here) != 0 || fstatat(fd, "..", &up, 0) != 0)
        return false;
    return up.st_dev != here.st_dev || up.st_ino == here.st_ino;
}

int kept_if(int fd, bool same)
{
    if (same)
        return fd;
    close(fd);
    errno = ESTALE;
    return -1;
}

} // namespace

#if VORLIX_ON_FREEBSD

#include <sys/param.h>
#include <sys/mount.h>

int open_mount_root(const MountEntry &mount)
{
    const int fd = open(mount.dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct statfs sfs;
    if (fstatfs(fd, &sfs) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    uint64_t fsid = 0;
    static_assert(sizeof fsid == sizeof sfs.f_fsid, "fsid_t is two 32-bit values");
    memcpy(&fsid, &sfs.f_fsid, sizeof fsid);
    // f_mntonname is the folder's name as it was mounted on: a folder
    // put in its place since lies on another filesystem, or below the
    // root of this one.
    const bool same = fsid == mount.fsid && mount.dir == sfs.f_mntonname && mount.source == sfs.f_mntfromname
        && mount.type == sfs.f_fstypename && at_filesystem_root(fd);
    return kept_if(fd, same);
}

#else // Linux

#include <sys/sysmacros.h>

int open_mount_root(const MountEntry &mount)
{
    // O_PATH: the folder is found, not opened, so nothing is asked of its
    // filesystem yet.
    const int fd = open(mount.dir.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct statx stx;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    // The mount id tells this mount from any other, a bind of the same
    // filesystem included; kernels before 5.8 give only the device number.
    bool same = (stx.stx_mask & STATX_MNT_ID) != 0
        ? mount.id > 0 && stx.stx_mnt_id == static_cast<uint64_t>(mount.id)
        : makedev(stx.stx_dev_major, stx.stx_dev_minor) == mount.dev;
    if (same)
        same = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0
            ? (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
            : at_filesystem_root(fd);
    return kept_if(fd, same);
}

#endif
