#ifndef VORLIX_DISK_NAMES_H
#define VORLIX_DISK_NAMES_H

// Returns a fresh copy of device cut after its first run of ASCII digits,
// which turns a partition's node into its whole disk's (/dev/da0s1 ->
// /dev/da0). A name without digits comes back whole. Null when no memory;
// the caller frees the copy.
char *parent_device(const char *device);

// True when name is the disk itself or one of its partitions: the disk's
// name followed by s or p and digits (da0s2, da0s1a, da0p3), or on Linux,
// for a disk whose name does not end in a digit, by digits alone (sda1).
bool names_disk_or_partition(const char *name, const char *disk);

#endif
