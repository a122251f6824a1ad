#include "platform/fs_query.h"

#include "platform/target.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#if VORLIX_ON_FREEBSD

#include <sys/param.h>
#include <sys/mount.h>

int fs_query(const char *path, FsUsage *usage)
{
    struct statfs sfs;
    if (statfs(path, &sfs) != 0)
        return -1;
    usage->block_size = sfs.f_bsize;
    usage->blocks = sfs.f_blocks;
    usage->free_blocks = sfs.f_bfree;
    // Signed: below zero once the superuser has written into the reserve
    // (UFS keeps 8% back), when a user may write nothing.
    usage->available_blocks = sfs.f_bavail > 0 ? static_cast<uint64_t>(sfs.f_bavail) : 0;
    snprintf(usage->mounted_on, sizeof usage->mounted_on, "%s", sfs.f_mntonname);
    return 0;
}

#else // Linux: no mounted-on name in statfs; the mount table tells.

#include "platform/mount_table.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <string>
#include <vector>

namespace {

// True when dir is path itself or one of its ancestors.
bool is_dir_prefix(const std::string &dir, const std::string &path)
{
    if (dir == "/")
        return true;
    return path.compare(0, dir.size(), dir) == 0
           && (path.size() == dir.size() || path[dir.size()] == '/');
}

// The deepest mount point on dev that holds real_path. Falls back to the
// deepest mount point of any device holding it, for filesystems whose
// st_dev the mount table does not show.
bool find_mounted_on(dev_t dev, const std::string &real_path, std::string *out)
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return false;

    std::string best_on_dev, best_any;
    for (const MountEntry &m : mounts) {
        if (!is_dir_prefix(m.dir, real_path))
            continue;
        if (m.dir.size() >= best_any.size())
            best_any = m.dir;
        if (m.dev == dev && m.dir.size() >= best_on_dev.size())
            best_on_dev = m.dir;
    }

    *out = !best_on_dev.empty() ? best_on_dev : best_any;
    return !out->empty();
}

} // namespace

int fs_query(const char *path, FsUsage *usage)
{
    struct statvfs vfs;
    struct stat st;
    if (statvfs(path, &vfs) != 0 || stat(path, &st) != 0)
        return -1;

    char real[PATH_MAX];
    if (realpath(path, real) == nullptr)
        return -1;

    std::string mounted_on;
    if (!find_mounted_on(st.st_dev, real, &mounted_on)) {
        errno = ENOENT;
        return -1;
    }

    // Counts are in fragments; f_bsize is only the preferred I/O size.
    usage->block_size = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    usage->blocks = vfs.f_blocks;
    usage->free_blocks = vfs.f_bfree;
    // Linux keeps its figure of old: the reserve counted as available.
    usage->available_blocks = vfs.f_bfree;
    snprintf(usage->mounted_on, sizeof usage->mounted_on, "%s", mounted_on.c_str());
    return 0;
}

#endif
