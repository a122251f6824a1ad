#ifndef VORLIX_DISK_NAMES_H
#define VORLIX_DISK_NAMES_H

#include <string>

// The rules by name alone, for a device the system does not know (a
// name with no node behind it, a disk image file). Where the system knows
// the device, platform/disk_devices.h asks it instead.

// Returns a fresh copy of device whose own name, the part after its last
// "/", is cut after its first run of ASCII digits, which turns a
// partition's node into its whole disk's (/dev/da0s1 -> /dev/da0,
// /srv/vm7/da0s1 -> /srv/vm7/da0). A name without digits comes back whole.
// Null when no memory; the caller frees the copy.
char *parent_device(const char *device);

// True when name is the disk itself or one of its partitions: for a disk
// name that ends in a digit, followed by s or p and digits (da0s2, da0s1a,
// da0p3, nvme0n1p1), or on Linux, for one that does not, by digits alone
// (sda1, but not sdap1).
bool names_disk_or_partition(const char *name, const char *disk);

// The same path with runs of slashes made one and "." steps and a final
// slash dropped ("/dev//da0s1", "/dev/./da0s1/" -> "/dev/da0s1"), so that
// two spellings of one name compare equal. ".." stays: it may cross a link.
std::string collapse_path(const char *path);

#endif
