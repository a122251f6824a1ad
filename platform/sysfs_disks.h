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
};

// The disk that holds the block device dev. A partition's disk is the
// folder above it; a device built on others (device-mapper, md) belongs to
// the disk of the first it is built on. False when sysfs does not know dev.
bool sysfs_disk_of(dev_t dev, const std::string &root, SysfsDisk *disk);

#endif
