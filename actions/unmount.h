#ifndef VORLIX_UNMOUNT_H
#define VORLIX_UNMOUNT_H

// Runs the mount helper to unmount the filesystem on mount_point. Returns 0
// when it succeeded and 1 otherwise, after telling the user why.
int unmount_volume(const char *mount_point);

// Unmounts, deepest mount point first, every filesystem still mounted from
// disk or from one of its partitions, each as unmount_volume does. One that
// lies under a filesystem of another device is not reached: nothing
// unrelated is unmounted, and it counts as still mounted. Stops at the
// first failure. Returns 0 once the mount table shows none of them, 1
// otherwise, after telling the user why.
int unmount_rest_of_disk(const char *disk);

#endif
