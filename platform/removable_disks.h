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
// provider), on a disk that is an SD card (mmcsd, sdda; an eMMC, which the
// same drivers serve, is not) or a da disk that is either attached through
// USB mass storage or whose medium can be removed, unless it lies behind a
// server's or a virtual machine's adapter (SAS, Fibre Channel, iSCSI,
// virtio, Hyper-V, VMware), whose drives may report a removable medium
// too. What a da disk is attached through ("umass-sim0", "mpr0") the
// kernel keeps as its GEOM::attachment attribute, which only someone who
// may open the disk's node can read (the devfs rule of the README's
// FreeBSD steps lets the user); the da driver's flags (sysctl
// kern.cam.da.N.flags), which anyone may read, say PACK_REMOVABLE where the
// drive itself says its medium can be removed, as most USB sticks and card
// readers do, and decide alone where the attachment cannot be read. Never
// the disk that holds the root filesystem, whatever it is.

// The filesystem mounted as entry. Linux: its block device is the mount's
// own device number, or for one without (FUSE, btrfs) the block device node
// its source names in /dev (device_node.h); FreeBSD: the provider its
// source names under /dev, or for FUSE (whose source is always /dev/fuse)
// the one its daemon reads. A FUSE filesystem whose program is neither
// root's nor this user's lies on no disk, whatever it calls itself
// (fuse_link.h). Reads sysfs under sysfs_root ("/sys"; tests give a
// fixture tree).
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

// FreeBSD: the same for a mount; for a FUSE mount, of the device its daemon
// reads, where the daemon is root's or this user's own. Empty where that
// is not told, and on Linux.
std::string volume_provider(const MountEntry &mount);

// The device vorlix is to be started with for a mount: its source, but on
// FreeBSD, for a FUSE mount, the device its daemon reads (as above), since
// /dev/fuse names none. Empty where that is not told.
std::string volume_device(const MountEntry &mount);

#endif
