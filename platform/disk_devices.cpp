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

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

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
// "/dev/gpt/BACKUP" -> "gpt/BACKUP"; empty for a name outside /dev.
std::string provider_name(const char *device)
{
    const std::string path = collapse_path(device);
    return starts_with(path, "/dev/") ? path.substr(5) : std::string();
}

bool set_by_provider(const GeomSet &geom, DeviceSet *set)
{
    set->basis = DeviceSet::by_provider;
    set->providers = geom.providers;
    set->holder = geom.base;
    return true;
}
#endif

} // namespace

DeviceSet volume_devices(const char *device)
{
#if VORLIX_ON_FREEBSD
    GeomSet geom;
    const std::string name = provider_name(device);
    if (!name.empty() && geom_volume_of(name, &geom)) {
        DeviceSet set;
        set_by_provider(geom, &set);
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
        DeviceSet set;
        set_by_provider(geom, &set);
        set.whole_disk = true;
        set.node = "/dev/" + geom.base;
        return set;
    }
#else
    struct stat st;
    SysfsDisk disk;
    if (stat(device, &st) == 0 && S_ISBLK(st.st_mode) && sysfs_disk_of(st.st_rdev, "/sys", &disk)) {
        DeviceSet set;
        set.basis = DeviceSet::by_number;
        set.whole_disk = true;
        set.node = "/dev/" + disk.name;
        set.numbers = disk.members;
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
        struct stat st;
        if (starts_with(source, "/") && stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)
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
    (void)set;
#endif
    return true;
}

bool path_on_devices(const char *path, const DeviceSet &set)
{
    // One of the set's own devices, or the disk image file itself.
    const std::string name = collapse_path(path);
    if (set.basis == DeviceSet::by_provider && starts_with(name, "/dev/") && contains(set.providers, name.substr(5)))
        return true;
    if (set.basis == DeviceSet::by_name && mount_owner({name, "", 0}, set) == Owner::member)
        return true;
    // On a filesystem of the set.
#if VORLIX_ON_FREEBSD
    struct statfs sfs;
    if (statfs(path, &sfs) != 0)
        return false;
    return mount_owner({sfs.f_mntfromname, sfs.f_mntonname, 0}, set) == Owner::member;
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
