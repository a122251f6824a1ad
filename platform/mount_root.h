#ifndef VORLIX_MOUNT_ROOT_H
#define VORLIX_MOUNT_ROOT_H

struct MountEntry;

// The folder a mount lies on, as the mount table named it, opened as it is
// now: without following a last symbolic link, and kept only where what was
// opened is the root of that very mount (Linux: its mount id, or where the
// kernel does not tell it, its device number; FreeBSD: its filesystem id,
// source, folder and type, as statfs(2) gives them). Another user who may
// rename a folder above it, or put another folder in its place, can make
// the path lead elsewhere; the descriptor cannot.
//
// Returns the descriptor (close-on-exec), or -1 with errno set, ESTALE when
// the path now leads to something else. Asks the mounted filesystem, which
// may not answer: only for a child that may be left to hang.
int open_mount_root(const MountEntry &mount);

#endif
