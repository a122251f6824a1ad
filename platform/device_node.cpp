#include "platform/device_node.h"

#include "platform/target.h"

#include <unistd.h>

namespace {

// One name right in /dev: the kernel makes its device nodes there ("sdb1",
// "dm-0", "fuse"); what lies in folders below is links (by-label, mapper)
// or another filesystem mounted there (shm, pts).
bool single_name(const std::string &path, std::string *name)
{
    if (path.compare(0, 5, "/dev/") != 0)
        return false;
    *name = path.substr(5);
    return !name->empty() && *name != "." && *name != ".." && name->find('/') == std::string::npos;
}

} // namespace

DevfsFolder::~DevfsFolder()
{
    if (fd >= 0)
        close(fd);
}

#if VORLIX_ON_FREEBSD

// Nothing to open: no device is looked up by its path.
DevfsFolder::DevfsFolder() = default;

bool DevfsFolder::node(const std::string &, struct stat *) const
{
    return false;
}

#else

#include "platform/mount_table.h"

#include <fcntl.h>

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

DevfsFolder::DevfsFolder()
{
    const int opened = open("/dev", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (opened < 0)
        return;
    struct stat folder;
    if (fstat(opened, &folder) != 0 || !is_devtmpfs(folder.st_dev)) {
        close(opened);
        return;
    }
    fd = opened;
}

bool DevfsFolder::node(const std::string &path, struct stat *st) const
{
    std::string name;
    if (fd < 0 || !single_name(path, &name))
        return false;
    // The name is looked up in that folder alone, not followed where it is
    // a link, and must lie on the same filesystem: not on one mounted on it.
    struct stat folder, found;
    if (fstat(fd, &folder) != 0 || fstatat(fd, name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0
        || found.st_dev != folder.st_dev || !(S_ISBLK(found.st_mode) || S_ISCHR(found.st_mode)))
        return false;
    *st = found;
    return true;
}

#endif

bool devfs_device_node(const std::string &path, struct stat *st)
{
    // Most names ("tmpfs", "proc", "/home/u/disk.img") are no name in /dev
    // at all: /dev is opened, and the mount table read, only for one.
    std::string name;
    return single_name(path, &name) && DevfsFolder().node(path, st);
}

bool devfs_block_device(const std::string &source, dev_t *number)
{
    struct stat st = {};
    if (!devfs_device_node(source, &st) || !S_ISBLK(st.st_mode))
        return false;
    *number = st.st_rdev;
    return true;
}
