#ifndef VORLIX_DEVICE_NODE_H
#define VORLIX_DEVICE_NODE_H

#include <sys/types.h>

#include <string>

// The block device that a mount's source names in /dev, found so that no
// other user can steer the lookup and no other filesystem is asked: the
// source must be one entry of the kernel's own device filesystem mounted on
// /dev (devtmpfs), a block device node itself and no symbolic link.
// "/dev/sdb1" may be one; "/dev/shm/x" (a folder anyone may write to),
// "/dev/disk/by-label/STICK" (a link) and "/dev/../x" never are. A link
// could lead into a filesystem that stopped answering, and a lookup there
// would never return.
//
// Linux only: FreeBSD names its devices by GEOM provider (geom_disks.h),
// never by looking a path up; there it is always false.
bool devfs_block_device(const std::string &source, dev_t *number);

#endif
