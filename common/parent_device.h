#ifndef VORLIX_PARENT_DEVICE_H
#define VORLIX_PARENT_DEVICE_H

// Returns a fresh copy of device cut after its first run of ASCII digits,
// which turns a partition's node into its whole disk's (/dev/da0s1 ->
// /dev/da0). A name without digits comes back whole. Null when no memory;
// the caller frees the copy.
char *parent_device(const char *device);

#endif
