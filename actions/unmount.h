#ifndef VORLIX_UNMOUNT_H
#define VORLIX_UNMOUNT_H

struct DeviceSet;

// Runs the mount helper to unmount the filesystem on mount_point. Returns 0
// when it succeeded and 1 otherwise, after telling the user why. A helper
// that waits long may be stopped by the user, which is a failure.
int unmount_volume(const char *mount_point);

// Before a tool writes the whole disk: unmounts the volume from its folder
// and wherever else its device is mounted, then every filesystem of the
// disk, each as unmount_volume does, and waits for the system to let go of
// the disk where it tells. Nothing of another device is unmounted. Returns
// 0 once the disk is free, 1 otherwise, after telling the user why and
// what still holds it.
int unmount_whole_disk(const char *mount_point, const DeviceSet &volume, const DeviceSet &disk);

#endif
