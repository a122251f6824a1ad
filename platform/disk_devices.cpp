#include "platform/disk_devices.h"

#include "common/disk_names.h"
#include "platform/mount_table.h"
#include "platform/target.h"

#if VORLIX_ON_FREEBSD
#include "platform/geom_disks.h"
#include <sys/param.h>
#include <sys/mount.h>
#else
#include "platform/sysfs_disks.h"
#endif

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

template <typename T>
bool contains(const std::vector<T> &list, const T &item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool starts_with(const std::string &s, const char *prefix)
{
    return s.compare(0, strlen(prefix), prefix) == 0;
}

// For a device the system does not know. A disk image file is known by
// its identity, so that a link to it or another spelling is the same file.
DeviceSet set_by_name(const char *device, bool whole_disk)
{
    DeviceSet set;
    set.whole_disk = whole_disk;
    set.node = collapse_path(device);
    if (whole_disk) {
        char *disk = parent_device(set.node.c_str());
        set.node = disk != nullptr ? disk : "";
        free(disk);
    }
    struct stat st;
    if (!set.node.empty() && stat(set.node.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        set.is_file = true;
        set.file_dev = st.st_dev;
        set.file_ino = st.st_ino;
    }
    return set;
}

bool same_file(const std::string &path, const DeviceSet &set)
{
    struct stat st;
    return set.is_file && starts_with(path, "/") && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)
           && st.st_dev == set.file_dev && st.st_ino == set.file_ino;
}

#if VORLIX_ON_FREEBSD
// "/dev/gpt/BACKUP" -> "gpt/BACKUP", also through a link or ".."; empty
// for what is no device node.
std::string provider_name(const char *device)
{
    return geom_provider_for(device);
}

DeviceSet set_by_provider(const GeomSet &geom)
{
    DeviceSet set;
    set.basis = DeviceSet::by_provider;
    set.providers = geom.providers;
    set.holder = geom.base;
    return set;
}
#endif

} // namespace

DeviceSet volume_devices(const char *device)
{
#if VORLIX_ON_FREEBSD
    GeomSet geom;
    const std::string name = provider_name(device);
    if (!name.empty() && geom_volume_of(name, &geom)) {
        DeviceSet set = set_by_provider(geom);
        set.node = collapse_path(device);
        return set;
    }
#else
    struct stat st;
    if (stat(device, &st) == 0 && S_ISBLK(st.st_mode)) {
        DeviceSet set;
        set.basis = DeviceSet::by_number;
        set.node = device;
        set.numbers.push_back(st.st_rdev);
        return set;
    }
#endif
    return set_by_name(device, false);
}

DeviceSet disk_devices(const char *device)
{
#if VORLIX_ON_FREEBSD
    GeomSet geom;
    const std::string name = provider_name(device);
    if (!name.empty() && geom_disk_of(name, &geom)) {
        DeviceSet set = set_by_provider(geom);
        set.whole_disk = true;
        set.node = "/dev/" + geom.base;
        return set;
    }
    // A real disk device that GEOM cannot place (its tree unreadable): the
    // name rule would take /dev/gpt/backup1old for /dev/gpt/backup1. No
    // disk, then.
    struct stat st;
    if (!name.empty() && stat(device, &st) == 0 && S_ISCHR(st.st_mode)) {
        DeviceSet set;
        set.basis = DeviceSet::by_provider;
        set.whole_disk = true;
        return set;
    }
#else
    struct stat st;
    if (stat(device, &st) == 0 && S_ISBLK(st.st_mode)) {
        DeviceSet set;
        set.basis = DeviceSet::by_number;
        set.whole_disk = true;
        SysfsDisk disk;
        if (sysfs_disk_of(st.st_rdev, "/sys", &disk)) {
            set.node = "/dev/" + disk.name;
            set.numbers = disk.members;
        } else {
            // A real device whose disk the system does not say (no sysfs):
            // the name rule would take /dev/sdb1 for a disk. No disk, then.
            set.numbers.push_back(st.st_rdev);
        }
        return set;
    }
#endif
    return set_by_name(device, true);
}

Owner mount_owner(const MountEntry &mount, const DeviceSet &set)
{
    const std::string source = collapse_path(mount.source.c_str());
    switch (set.basis) {
    case DeviceSet::by_number: {
        if (contains(set.numbers, mount.dev))
            return Owner::member;
        // A filesystem that is not the kernel's own (FUSE) has a number of
        // its own; its source names the device it reads.
        // Only a FUSE mount's source or a name under /dev is looked at:
        // any path could lie on a network filesystem that hangs.
        const bool names_device = starts_with(source, "/dev/") || starts_with(mount.type, "fuse");
        struct stat st;
        if (names_device && starts_with(source, "/") && stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)
            && contains(set.numbers, st.st_rdev))
            return Owner::member;
        return Owner::other;
    }
    case DeviceSet::by_provider:
        // A FUSE daemon reads the device through its node; the table only
        // says /dev/fuse.
        if (source == "/dev/fuse")
            return Owner::unknown;
        return starts_with(source, "/dev/") && contains(set.providers, source.substr(5)) ? Owner::member
                                                                                         : Owner::other;
    case DeviceSet::by_name:
        break;
    }
    const bool named = set.whole_disk ? names_disk_or_partition(source.c_str(), set.node.c_str())
                                      : !set.node.empty() && source == set.node;
    return named || same_file(source, set) ? Owner::member : Owner::other;
}

bool devices_released(const DeviceSet &set)
{
#if VORLIX_ON_FREEBSD
    if (set.basis == DeviceSet::by_provider)
        return geom_provider_idle(set.holder);
#else
    // The kernel refuses an exclusive open of a block device that a
    // filesystem or a device built on it still claims, in any mount
    // namespace, where the table shows only ours; a disk counts its
    // partitions' claims too. Where we may not open it, the table's word
    // stands.
    if (set.basis == DeviceSet::by_number && !set.node.empty()) {
        const int fd = open(set.node.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno != EBUSY;
        close(fd);
    }
#endif
    return true;
}

bool path_on_devices(const char *path, const DeviceSet &set)
{
    // One of the set's own devices, or the disk image file itself.
    const std::string name = collapse_path(path);
    if (set.basis == DeviceSet::by_provider && starts_with(name, "/dev/") && contains(set.providers, name.substr(5)))
        return true;
    if (set.basis == DeviceSet::by_name && mount_owner({name, "", 0, ""}, set) == Owner::member)
        return true;
    // On a filesystem of the set.
#if VORLIX_ON_FREEBSD
    struct statfs sfs;
    if (statfs(path, &sfs) != 0)
        return false;
    const Owner owner = mount_owner({sfs.f_mntfromname, sfs.f_mntonname, 0, sfs.f_fstypename}, set);
    return owner == Owner::member || (owner == Owner::unknown && geom_opened_through_node(set.providers));
#else
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    if (set.basis == DeviceSet::by_number && S_ISBLK(st.st_mode) && contains(set.numbers, st.st_rdev))
        return true;
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return false;
    return std::any_of(mounts.begin(), mounts.end(), [&](const MountEntry &m) {
        return m.dev == st.st_dev && mount_owner(m, set) == Owner::member;
    });
#endif
}

bool disk_held_beside(const DeviceSet &disk, const DeviceSet &volume)
{
#if VORLIX_ON_FREEBSD
    if (disk.basis != DeviceSet::by_provider)
        return false;
    std::vector<std::string> beside;
    for (const std::string &name : disk.providers)
        if (!contains(volume.providers, name))
            beside.push_back(name);
    return geom_opened_through_node(beside);
#else
    (void)disk;
    (void)volume;
    return false;
#endif
}
