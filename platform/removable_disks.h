#ifndef VORLIX_REMOVABLE_DISKS_H
#define VORLIX_REMOVABLE_DISKS_H

#include "platform/mount_table.h"

#include <sys/types.h>

#include <string>

// Whether a filesystem lies on a disk that can be unplugged, as the system
// itself tells an ordinary user: no name is guessed at.
//
// Linux, from sysfs: the disk under the device (through partitions and the
// devices built on them, such as dm-crypt) says "1" in its removable file,
// or hangs below a USB or MMC device in /sys/devices.
//
// FreeBSD, from GEOM: the provider rests, through partitions, labels,
// encryption and no-op layers (PART, LABEL, ELI, NOP, each made from one
// provider), on a disk that is an SD card (mmcsd, sdda) or a da disk
// whose medium can be removed. The kernel keeps a da disk's attachment
// ("umass-sim0") only as its GEOM::attachment attribute, which only
// someone who may open the disk's node can read, and by default a user may
// not; the da driver's flags (sysctl kern.cam.da.N.flags), which anyone
// may read, tell instead: PACK_REMOVABLE, the drive's own word that its
// medium can be removed, as USB sticks and card readers say.

// The filesystem mounted as entry. Linux: its block device is the mount's
// own device number, or for one without (FUSE, btrfs) the block device node
// its source names in /dev (device_node.h), and a FUSE filesystem whose
// program is neither root's nor this user's lies on no disk, whatever it
// calls itself (fuse_link.h); FreeBSD: the provider its source names under
// /dev. Reads sysfs under sysfs_root ("/sys"; tests give a fixture tree).
// Never touches the mounted filesystem itself.
bool mount_on_removable_disk(const MountEntry &entry, const std::string &sysfs_root);

// Linux: the block device dev, from sysfs under sysfs_root.
bool sysfs_device_removable(dev_t dev, const std::string &sysfs_root);

// FreeBSD: the provider of that name ("da0s1", "gpt/STICK").
bool geom_provider_removable(const std::string &name);

// FreeBSD: the provider a mount's source stands for, whatever label names
// it ("/dev/msdosfs/STICK" and "/dev/da0s1" both give "da0s1"), so that
// two mounts of one volume are known as one. Empty elsewhere, and for a
// source that is no provider.
std::string volume_provider(const std::string &source);

#endif
