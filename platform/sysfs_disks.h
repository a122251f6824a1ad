#ifndef VORLIX_SYSFS_DISKS_H
#define VORLIX_SYSFS_DISKS_H

#include <sys/types.h>

#include <string>
#include <vector>

// Linux's own account of block devices, under <root>/dev/block/MAJ:MIN
// ("/sys" on a running system; tests give a fixture tree of that shape).

// A whole disk and the device numbers of everything on it.
struct SysfsDisk {
    std::string name;         // as in /dev: "sdb", "nvme0n1", "mmcblk0"
    std::string dir;          // its folder under <root>/devices, links resolved
    std::vector<dev_t> members; // the disk, its partitions, and the devices built on them
    // A device on the way down that is built on more than one (md RAID, a
    // device-mapper table spanning disks): writing one of those would break
    // it. Its name ("md0"); the disk is then that device itself.
    std::string unwritable;
};

// The disk that holds the block device dev. A partition's disk is the
// folder above it; a device built on one other (dm-crypt) belongs to the
// disk of that one; one built on several is a disk of its own that may not
// be written (unwritable). False when sysfs does not know dev.
bool sysfs_disk_of(dev_t dev, const std::string &root, SysfsDisk *disk);

// The devices built directly on dev (its holders: "dm-0"), by the names
// under /dev.
std::vector<std::string> sysfs_holders_of(dev_t dev, const std::string &root);

// What identifies the disk dev beyond its number, which the next disk
// plugged in may get: its size in 512-byte sectors and, where the system
// tells, the kernel's sequence number of its attachment (diskseq), its
// serial number or world-wide name, and its USB device's serial number.
// Empty when sysfs does not know dev.
std::string sysfs_disk_identity(dev_t dev, const std::string &root);

#endif
