#ifndef VORLIX_UNMOUNT_H
#define VORLIX_UNMOUNT_H

// Runs the mount helper to unmount the filesystem on mount_point. Returns 0
// when it succeeded and 1 otherwise, after telling the user why.
int unmount_volume(const char *mount_point);

#endif
