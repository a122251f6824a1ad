#include "platform/removable_disks.h"

#include "platform/target.h"

#include <string.h>

#if VORLIX_ON_FREEBSD
namespace {

// A device node's name under /dev, for a source that is one: "/dev/da0s1"
// gives "da0s1". A ".." step could lead out of /dev and into a mounted
// filesystem, which might not answer; such a source is refused.
bool name_under_dev(const std::string &source, std::string *name)
{
    if (source.compare(0, 5, "/dev/") != 0 || source.size() == 5)
        return false;
    const std::string rest = source.substr(5);
    if (rest == ".." || rest.compare(0, 3, "../") == 0 || rest.find("/../") != std::string::npos
        || (rest.size() >= 3 && rest.compare(rest.size() - 3, 3, "/..") == 0))
        return false;
    *name = rest;
    return true;
}

} // namespace
#endif

#if VORLIX_ON_FREEBSD

#include "platform/disk_attribute.h"
#include "platform/fuse_link.h"
#include "platform/geom_disks.h"

#include <sys/types.h>
#include <sys/sysctl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// "da12" gives "da" and "12". False for a name that is not letters and
// then digits.
bool split_disk_name(const std::string &disk, std::string *driver, std::string *unit)
{
    const size_t digits = disk.find_first_of("0123456789");
    if (digits == 0 || digits == std::string::npos
        || disk.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    for (size_t i = 0; i < digits; ++i)
        if (disk[i] < 'a' || disk[i] > 'z')
            return false;
    *driver = disk.substr(0, digits);
    *unit = disk.substr(digits);
    return true;
}

// The da driver's flags for its unit, as the kernel's %b prints them:
// "0x2b18<PACK_REMOVABLE,ROTATING,OPEN,SCTX_INIT,PROBED,ANNOUNCED>".
bool cam_da_says_removable(const std::string &unit)
{
    const std::string oid = "kern.cam.da." + unit + ".flags";
    char flags[512];
    size_t len = sizeof flags - 1;
    if (sysctlbyname(oid.c_str(), flags, &len, nullptr, 0) != 0)
        return false;
    flags[len < sizeof flags ? len : sizeof flags - 1] = '\0';
    const char *open = strchr(flags, '<');
    const char *close = open != nullptr ? strchr(open, '>') : nullptr;
    if (close == nullptr)
        return false;
    const std::string names(open + 1, close);
    return (',' + names + ',').find(",PACK_REMOVABLE,") != std::string::npos;
}

// The name of the CAM SIM a da disk hangs on, as its driver records it
// ("umass-sim0", "mpr0", "iscsi0"), is name and unit number.
bool attached_through(const std::string &attachment, const char *sim)
{
    const size_t n = strlen(sim);
    return attachment.size() > n && attachment.compare(0, n, sim) == 0 && attachment[n] >= '0'
        && attachment[n] <= '9';
}

// The adapters of servers and virtual machines: SAS (mps, mpr, mpt,
// mpi3mr), Fibre Channel (isp, ocs_fc), iSCSI, virtio, Hyper-V and VMware.
// Some of their drives report a removable medium, and a LUN behind them
// may be shared with other machines.
bool behind_server_adapter(const std::string &attachment)
{
    for (const char *sim : {"mps", "mpr", "mpt", "mpi3mr", "isp", "ocs_fc", "iscsi", "vtscsi", "storvsc", "pvscsi"})
        if (attached_through(attachment, sim))
            return true;
    return false;
}

// mmcsd(4) and sdda(4) serve SD cards and eMMC alike; the disk's
// description begins with the card's kind, "SD" or "SDHC" for an SD card
// (SDXC cards are SDHC to the driver) and "MMC" or "MMCHC" for MMC, which
// is what an eMMC soldered on the board is.
bool describes_sd_card(const std::string &description)
{
    return description.compare(0, 3, "SD ") == 0 || description.compare(0, 5, "SDHC ") == 0;
}

// Whether the root filesystem lies on the disk: its source is the disk or
// something built on it (a partition, a label, a mirror); or, for root on
// ZFS, whose source is a dataset and names no device, the disk serves a
// ZFS pool, which may be the root's. A board that boots from its SD card
// and a system installed on a stick keep their disk. Read from the kernel's
// own record of the mounts (getmntinfo without waiting), which asks no
// filesystem; when it cannot be read, the disk is taken to hold root.
bool holds_root(const GeomSet &disk)
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return true;
    for (const MountEntry &m : mounts) {
        if (m.dir != "/")
            continue;
        std::string name;
        if (name_under_dev(m.source, &name)) {
            if (std::find(disk.providers.begin(), disk.providers.end(), name) != disk.providers.end())
                return true;
        } else if (m.type == "zfs") {
            for (const GeomHold &hold : geom_holds(disk.providers))
                if (hold.cls == "ZFS::VDEV")
                    return true;
        }
    }
    return false;
}

} // namespace

bool geom_provider_removable(const std::string &name)
{
    // The disk under it, through partitions, labels, encryption and no-op
    // layers only: under a mirror or a RAID lies no one stick.
    GeomSet disk;
    std::string driver, unit;
    if (!geom_disk_of(name, &disk) || !disk.unwritable_class.empty()
        || !split_disk_name(disk.base, &driver, &unit))
        return false;
    bool removable = false;
    if (driver == "mmcsd" || driver == "sdda")
        removable = describes_sd_card(disk.description);
    else if (driver == "da") {
        // What the disk is attached through, where its node tells: the da
        // driver names every disk it finds through USB mass storage after
        // umass(4)'s SIM, whatever the drive says of its medium (a stick or
        // a USB-SATA bridge that calls its medium fixed counts too). Any
        // other adapter, and a node the user may not open, leave it to the
        // drive's own word, which any user may read.
        std::string attachment;
        if (!disk_attribute(disk.base, "GEOM::attachment", &attachment))
            attachment.clear();
        if (attached_through(attachment, "umass-sim"))
            removable = true;
        else
            removable = !behind_server_adapter(attachment) && cam_da_says_removable(unit);
    }
    return removable && !holds_root(disk);
}

bool sysfs_device_removable(dev_t, const std::string &)
{
    return false;
}

bool mount_on_removable_disk(const MountEntry &entry, const std::string &)
{
    std::string name;
    return name_under_dev(volume_device(entry), &name) && geom_provider_removable(name);
}

std::string volume_provider(const std::string &source)
{
    std::string name;
    GeomSet volume;
    if (!name_under_dev(source, &name) || !geom_volume_of(name, &volume))
        return std::string();
    return volume.base;
}

std::string volume_provider(const MountEntry &mount)
{
    const std::string device = volume_device(mount);
    return device.empty() ? std::string() : volume_provider(device);
}

std::string volume_device(const MountEntry &mount)
{
    if (!is_fuse_type(mount.type) && mount.source != "/dev/fuse")
        return mount.source;
    // Every FUSE mount shows /dev/fuse; only a daemon of root's or of this
    // user's may speak for a device: another user's can read the user's
    // stick and serve anything at all under its name.
    const FuseLink link = fuse_link(mount);
    if (link.state != FuseLink::linked || !fuse_link_trusted(link, getuid()))
        return std::string();
    return link.device;
}

#else // Linux

#include "platform/device_node.h"
#include "platform/first_line.h"
#include "platform/fuse_link.h"
#include "platform/sysfs_disks.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

bool first_line_is(const std::string &file, const char *expected)
{
    return first_line(file) == expected;
}

// The bus a device folder sits on: the last part of where its subsystem
// link points ("usb" for ../../../bus/usb), or "".
std::string bus_of(const std::string &dir)
{
    char target[PATH_MAX];
    const ssize_t n = readlink((dir + "/subsystem").c_str(), target, sizeof target - 1);
    if (n <= 0)
        return "";
    target[n] = '\0';
    const char *slash = strrchr(target, '/');
    return slash != nullptr ? slash + 1 : target;
}

} // namespace

bool sysfs_device_removable(dev_t dev, const std::string &sysfs_root)
{
    SysfsDisk disk;
    if (!sysfs_disk_of(dev, sysfs_root, &disk))
        return false;
    if (first_line_is(disk.dir + "/removable", "1"))
        return true;
    char devices[PATH_MAX];
    if (realpath((sysfs_root + "/devices").c_str(), devices) == nullptr)
        return false;
    const std::string top = std::string(devices) + '/';
    // Up from the disk to the machine: a card reader's or a stick's USB
    // device, or the MMC card a mmcblk disk is.
    for (std::string dir = disk.dir; dir.size() > top.size() && dir.compare(0, top.size(), top) == 0;
         dir.erase(dir.rfind('/'))) {
        const std::string bus = bus_of(dir);
        if (bus == "usb" || bus == "mmc")
            return true;
    }
    return false;
}

bool geom_provider_removable(const std::string &)
{
    return false;
}

bool mount_on_removable_disk(const MountEntry &entry, const std::string &sysfs_root)
{
    // A device number of major 0 is one the kernel made up for a
    // filesystem without a block device of its own (tmpfs, FUSE, NFS).
    // A filesystem without a number of its own names its block device as
    // its source: udisks hands FUSE the node (ntfs-3g, exfat-fuse), and
    // btrfs shows one of its devices. A FUSE program names whatever it
    // likes, and fuseblk even carries its device's number: another user's
    // speaks for no device. A filesystem of the kernel's own is mounted by
    // root alone. The node is looked up so that nothing outside the
    // kernel's device filesystem is asked (device_node.h).
    dev_t dev = entry.dev;
    if (is_fuse_type(entry.type)) {
        const FuseLink link = fuse_link(entry);
        if (!fuse_link_trusted(link, geteuid()))
            return false;
        if (major(dev) == 0 && (link.state != FuseLink::linked || !devfs_block_device(link.device, &dev)))
            return false;
    } else if (major(dev) == 0 && !devfs_block_device(entry.source, &dev)) {
        return false;
    }
    return sysfs_device_removable(dev, sysfs_root);
}

// Linux tells volumes apart by device number; sources are not looked at.
std::string volume_provider(const std::string &)
{
    return std::string();
}

std::string volume_provider(const MountEntry &)
{
    return std::string();
}

std::string volume_device(const MountEntry &mount)
{
    return mount.source;
}

#endif
