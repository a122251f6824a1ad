#include "platform/device_node.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

bool devfs_block_device(const std::string &, dev_t *)
{
    return false;
}

#else

#include "platform/mount_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// devtmpfs tells statfs(2) it is a tmpfs, as /dev/shm is: only the mount
// table names it for what it is.
bool is_devtmpfs(dev_t dev)
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return false;
    for (const MountEntry &m : mounts)
        if (m.dev == dev && m.type == "devtmpfs")
            return true;
    return false;
}

} // namespace

bool devfs_block_device(const std::string &source, dev_t *number)
{
    // One name right in /dev: the kernel makes its block device nodes
    // there ("sdb1", "dm-0", "mmcblk0p1"); what lies in folders below is
    // links (by-label, mapper) or another filesystem mounted there.
    if (source.compare(0, 5, "/dev/") != 0)
        return false;
    const std::string name = source.substr(5);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return false;
    const int dev = open("/dev", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dev < 0)
        return false;
    // The name is looked up in that folder alone, not followed where it is
    // a link, and must lie on the same filesystem: not on one mounted on it.
    struct stat folder, node;
    const bool found = fstat(dev, &folder) == 0 && is_devtmpfs(folder.st_dev)
        && fstatat(dev, name.c_str(), &node, AT_SYMLINK_NOFOLLOW) == 0 && S_ISBLK(node.st_mode)
        && node.st_dev == folder.st_dev;
    close(dev);
    if (found)
        *number = node.st_rdev;
    return found;
}

#endif
