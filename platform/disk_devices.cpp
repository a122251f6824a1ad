#include "platform/disk_devices.h"

#include "common/disk_names.h"
#include "platform/device_holders.h"
#include "platform/device_node.h"
#include "platform/first_line.h"
#include "platform/fs_probe.h"
#include "platform/fuse_link.h"
#include "platform/mount_table.h"
#include "platform/target.h"

#if VORLIX_ON_FREEBSD
#include "platform/fuse_link.h"
#include "platform/geom_disks.h"
#include <sys/param.h>
#include <sys/mount.h>
#else
#include "platform/sysfs_disks.h"
#include <fcntl.h>
#include <stdio.h>
#include <sys/sysmacros.h>
#endif

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Filesystems stacked on others (an overlay on a loop device on a file...)
// are shallow; the bound only stops a loop.
const int max_stack = 8;

template <typename T>
bool contains(const std::vector<T> &list, const T &item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool starts_with(const std::string &s, const char *prefix)
{
    return s.compare(0, strlen(prefix), prefix) == 0;
}

// A filesystem served by a program: "fuse", "fuseblk", "fuse.sshfs" on
// Linux, "fusefs", "fusefs.exfat" on FreeBSD.
bool is_fuse(const std::string &type)
{
    return starts_with(type, "fuse");
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
    if (!set.node.empty() && probe_stat(set.node.c_str(), &st) && S_ISREG(st.st_mode)) {
        set.is_file = true;
        set.file_dev = st.st_dev;
        set.file_ino = st.st_ino;
    }
    return set;
}

bool same_file(const std::string &path, const DeviceSet &set)
{
    struct stat st;
    return set.is_file && starts_with(path, "/") && probe_stat(path.c_str(), &st) && S_ISREG(st.st_mode)
           && st.st_dev == set.file_dev && st.st_ino == set.file_ino;
}

Placement answer(Placement::Answer a, const std::string &where = std::string())
{
    Placement p;
    p.answer = a;
    p.where = where;
    return p;
}

Placement placed(const std::string &path, const DeviceSet &set, int depth);

#if VORLIX_ON_FREEBSD

DeviceSet set_by_provider(const GeomSet &geom)
{
    DeviceSet set;
    set.basis = DeviceSet::by_provider;
    set.providers = geom.providers;
    set.holder = geom.base;
    return set;
}

// A FUSE filesystem's mount shows /dev/fuse, whatever its daemon reads. It
// is the set's only when its daemon is seen to read a device of the set,
// and is root's or the user's own: another user's daemon may have the
// user's stick open and serve anything at all under its name.
Owner fuse_owner(const MountEntry &mount, const DeviceSet &set)
{
    const FuseLink link = fuse_link(mount);
    if (link.state == FuseLink::unknown)
        return Owner::unknown;
    if (link.state == FuseLink::unlinked || !fuse_link_trusted(link, getuid()))
        return Owner::other;
    return contains(set.providers, link.device.substr(5)) ? Owner::member : Owner::other;
}

// statfs(2) of path, put to the probe: from, on, type and who mounted it.
bool probe_statfs(const char *path, MountEntry *entry)
{
    std::string reply;
    const bool asked = probe([path] {
        struct statfs sfs;
        if (statfs(path, &sfs) != 0) {
            const int err = errno;
            return std::string("-") + std::to_string(err);
        }
        return std::string("+") + sfs.f_mntfromname + '\0' + sfs.f_mntonname + '\0' + sfs.f_fstypename + '\0'
               + std::to_string(sfs.f_owner);
    }, &reply);
    if (!asked)
        return false;
    if (reply.empty() || reply[0] != '+') {
        errno = reply.size() > 1 ? atoi(reply.c_str() + 1) : EIO;
        return false;
    }
    const std::string body = reply.substr(1);
    const size_t a = body.find('\0'), b = a == std::string::npos ? a : body.find('\0', a + 1);
    const size_t c = b == std::string::npos ? b : body.find('\0', b + 1);
    if (c == std::string::npos) {
        errno = EIO;
        return false;
    }
    entry->source = body.substr(0, a);
    entry->dir = body.substr(a + 1, b - a - 1);
    entry->type = body.substr(b + 1, c - b - 1);
    entry->owner = static_cast<uid_t>(strtoul(body.c_str() + c + 1, nullptr, 10));
    entry->dev = 0;
    return true;
}

Placement placed(const std::string &path, const DeviceSet &set, int depth)
{
    MountEntry m;
    if (!probe_statfs(path.c_str(), &m))
        return errno == ETIMEDOUT ? answer(Placement::silent, path) : answer(Placement::elsewhere);
    const Owner owner = mount_owner(m, set);
    if (owner == Owner::member)
        return answer(Placement::on_it);
    if (owner == Owner::unknown)
        return answer(Placement::cannot_tell, m.dir);
    if (depth >= max_stack)
        return answer(Placement::elsewhere);
    // A null mount shows the folder it mirrors; a FUSE filesystem that
    // reads a file shows the file.
    if ((m.type == "nullfs" || is_fuse(m.type)) && starts_with(m.source, "/"))
        return placed(m.source, set, depth + 1);
    return answer(Placement::elsewhere);
}

#else // Linux

// The first of several places that is not elsewhere.
Placement first_of(const std::vector<std::string> &paths, const DeviceSet &set, int depth)
{
    for (const std::string &p : paths) {
        const Placement found = placed(p, set, depth);
        if (found.answer != Placement::elsewhere)
            return found;
    }
    return answer(Placement::elsewhere);
}

// The values of an overlay's layers ("lowerdir=/a:/b", "upperdir=/c"),
// each a folder, from the table's options.
std::vector<std::string> overlay_layers(const std::string &options)
{
    std::vector<std::string> dirs;
    for (const std::string &option : mount_options(options)) {
        const size_t eq = option.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = option.substr(0, eq);
        if (key != "lowerdir" && key != "lowerdir+" && key != "upperdir" && key != "datadir+")
            continue;
        // Folders are separated by ':', and a ':' in a name is written "\:".
        const std::string value = decode_octal_escapes(option.substr(eq + 1).c_str());
        std::string dir;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                dir += value[++i];
            } else if (value[i] == ':' && key == "lowerdir") {
                dirs.push_back(dir);
                dir.clear();
            } else {
                dir += value[i];
            }
        }
        if (!dir.empty())
            dirs.push_back(dir);
    }
    return dirs;
}

// The file a loop device reads, from sysfs.
std::string loop_backing_file(const std::string &source)
{
    const std::string name = source.substr(source.rfind('/') + 1);
    return first_line("/sys/block/" + name + "/loop/backing_file");
}

Placement placed(const std::string &path, const DeviceSet &set, int depth)
{
    struct stat st;
    if (!probe_stat(path.c_str(), &st))
        return errno == ETIMEDOUT ? answer(Placement::silent, path) : answer(Placement::elsewhere);
    if (set.basis == DeviceSet::by_number && S_ISBLK(st.st_mode) && contains(set.numbers, st.st_rdev))
        return answer(Placement::on_it);
    if (same_file(path, set))
        return answer(Placement::on_it);
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return answer(Placement::elsewhere);
    // The filesystem holding path, by its number; an overlay gives the
    // files of its layers numbers of their own, so failing that, the
    // deepest mount above the path.
    std::vector<size_t> holding;
    for (size_t i = 0; i < mounts.size(); ++i)
        if (mounts[i].dev == st.st_dev)
            holding.push_back(i);
    if (holding.empty()) {
        std::string real;
        if (!probe_realpath(path.c_str(), &real))
            return errno == ETIMEDOUT ? answer(Placement::silent, path) : answer(Placement::elsewhere);
        real = collapse_path(real.c_str());
        size_t best = mounts.size();
        for (size_t i = 0; i < mounts.size(); ++i) {
            const std::string dir = collapse_path(mounts[i].dir.c_str());
            const bool above = dir == "/" || real == dir || real.compare(0, dir.size() + 1, dir + "/") == 0;
            if (above && on_top_of_folder(mounts, i)
                && (best == mounts.size() || dir.size() >= collapse_path(mounts[best].dir.c_str()).size()))
                best = i;
        }
        if (best < mounts.size())
            holding.push_back(best);
    }
    std::vector<std::string> below; // what the filesystem holding path is built on
    for (size_t i : holding) {
        const MountEntry &m = mounts[i];
        const Owner owner = mount_owner(m, set);
        if (owner == Owner::member)
            return answer(Placement::on_it);
        if (owner == Owner::unknown)
            return answer(Placement::cannot_tell, m.dir);
        if (m.type == "overlay")
            for (const std::string &dir : overlay_layers(m.options))
                below.push_back(dir);
        else if (starts_with(m.source, "/dev/loop"))
            below.push_back(loop_backing_file(m.source));
        else if (is_fuse(m.type) && starts_with(m.source, "/"))
            below.push_back(m.source);
    }
    below.erase(std::remove(below.begin(), below.end(), std::string()), below.end());
    if (depth >= max_stack)
        return answer(Placement::elsewhere);
    return first_of(below, set, depth + 1);
}

#endif

// "<dev>:<ino> <birth>" of a file, "-" when there is none.
std::string file_birth(const char *path)
{
#if VORLIX_ON_FREEBSD
    // FreeBSD's st_birthtim would tell a new file from an old one of the
    // same number; the build check's C library does not declare it.
    struct stat st;
    if (stat(path, &st) != 0)
        return "-";
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
#else
    struct statx stx;
    if (statx(AT_FDCWD, path, 0, STATX_INO | STATX_BTIME, &stx) != 0)
        return "-";
    std::string id = std::to_string(makedev(stx.stx_dev_major, stx.stx_dev_minor)) + ":" + std::to_string(stx.stx_ino);
    if (stx.stx_mask & STATX_BTIME)
        id += " " + std::to_string(stx.stx_btime.tv_sec) + "." + std::to_string(stx.stx_btime.tv_nsec);
    return id;
#endif
}

} // namespace

DeviceSet volume_devices(const char *device)
{
#if VORLIX_ON_FREEBSD
    GeomSet geom;
    const std::string name = geom_provider_for(device);
    if (!name.empty() && geom_volume_of(name, &geom)) {
        DeviceSet set = set_by_provider(geom);
        set.node = collapse_path(device);
        return set;
    }
#else
    struct stat st;
    if (probe_stat(device, &st) && S_ISBLK(st.st_mode)) {
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
    const std::string name = geom_provider_for(device);
    if (!name.empty() && geom_disk_of(name, &geom)) {
        DeviceSet set = set_by_provider(geom);
        set.whole_disk = true;
        set.node = "/dev/" + geom.base;
        if (!geom.unwritable_class.empty())
            set.unwritable = geom.base + " (" + geom.unwritable_class + ")";
        return set;
    }
    // A real disk device that GEOM cannot place (its tree unreadable): the
    // name rule would take /dev/gpt/backup1old for /dev/gpt/backup1. No
    // disk, then.
    struct stat st;
    if (probe_stat(device, &st) && S_ISCHR(st.st_mode)) {
        DeviceSet set;
        set.basis = DeviceSet::by_provider;
        set.whole_disk = true;
        return set;
    }
#else
    struct stat st;
    if (probe_stat(device, &st) && S_ISBLK(st.st_mode)) {
        DeviceSet set;
        set.basis = DeviceSet::by_number;
        set.whole_disk = true;
        SysfsDisk disk;
        if (sysfs_disk_of(st.st_rdev, "/sys", &disk)) {
            set.node = "/dev/" + disk.name;
            set.numbers = disk.members;
            set.unwritable = disk.unwritable;
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
        // Another user's FUSE program may call its filesystem after any
        // device, and even serve it from a device it may read: it is never
        // the set's, so never taken for the volume nor unmounted with it.
        if (is_fuse(mount.type) && !fuse_link_trusted(fuse_link(mount), geteuid()))
            return Owner::other;
        if (contains(set.numbers, mount.dev))
            return Owner::member;
        // A filesystem with a number of its own (FUSE, btrfs) names the
        // device it reads as its source: a block device node of the
        // kernel's in /dev, looked up there alone, so that no link another
        // user planted leads the lookup into a filesystem that hangs.
        dev_t named = 0;
        return devfs_block_device(source, &named) && contains(set.numbers, named) ? Owner::member
                                                                                  : Owner::other;
    }
    case DeviceSet::by_provider:
#if VORLIX_ON_FREEBSD
        if (is_fuse(mount.type) || source == "/dev/fuse")
            return fuse_owner(mount, set);
#endif
        return starts_with(source, "/dev/") && contains(set.providers, source.substr(5)) ? Owner::member
                                                                                         : Owner::other;
    case DeviceSet::by_name:
        break;
    }
#if !VORLIX_ON_FREEBSD
    // As above: another user's program may call its filesystem after the
    // disk image file, or after the name. (FreeBSD shows every FUSE mount
    // as /dev/fuse, never a name or a file of the set.)
    if (is_fuse(mount.type) && !fuse_link_trusted(fuse_link(mount), geteuid()))
        return Owner::other;
#endif
    const bool named = set.whole_disk ? names_disk_or_partition(source.c_str(), set.node.c_str())
                                      : !set.node.empty() && source == set.node;
    // Only a program's filesystem names the file it reads as its source; a
    // kernel's filesystem on a file shows its loop device. Each look at a
    // name may wait for a filesystem that does not answer, so no other
    // source is looked at.
    return named || (is_fuse(mount.type) && same_file(source, set)) ? Owner::member : Owner::other;
}

bool devices_released(const DeviceSet &set)
{
    return device_holders(set).empty();
}

Placement path_on_devices(const char *path, const DeviceSet &set)
{
    // One of the set's own devices, or the disk image file itself.
    const std::string name = collapse_path(path);
#if VORLIX_ON_FREEBSD
    if (set.basis == DeviceSet::by_provider && starts_with(name, "/dev/")
        && contains(set.providers, geom_provider_for(path)))
        return answer(Placement::on_it);
#endif
    MountEntry as_source;
    as_source.source = name;
    if (set.basis == DeviceSet::by_name && (mount_owner(as_source, set) == Owner::member || same_file(name, set)))
        return answer(Placement::on_it);
    return placed(path, set, 0);
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

std::string disk_identity(const DeviceSet &disk)
{
    switch (disk.basis) {
    case DeviceSet::by_provider: {
#if VORLIX_ON_FREEBSD
        GeomIdentity id;
        if (geom_identity(disk.holder, &id))
            return id.provider + " ident=" + id.ident + " size=" + std::to_string(id.mediasize);
#endif
        return std::string();
    }
    case DeviceSet::by_number: {
#if !VORLIX_ON_FREEBSD
        struct stat st;
        if (disk.node.empty() || stat(disk.node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
            return std::string();
        const std::string id = sysfs_disk_identity(st.st_rdev, "/sys");
        return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)) + " " + id;
#else
        return std::string();
#endif
    }
    case DeviceSet::by_name:
        break;
    }
    // A name with nothing behind it stays what it was; a file is known by
    // its identity, and by when it was made: a new file may be given the
    // number of one just removed. (Not by when it was written: a FUSE
    // daemon's last write to it is no other disk.)
    if (disk.node.empty())
        return std::string();
    std::string made;
    const std::string node = disk.node;
    if (!probe([node] { return file_birth(node.c_str()); }, &made))
        return std::string();
    if (made == "-")
        return "name " + disk.node;
    return "file " + made;
}
