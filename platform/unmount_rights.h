#ifndef VORLIX_UNMOUNT_RIGHTS_H
#define VORLIX_UNMOUNT_RIGHTS_H

#include <sys/types.h>

// FreeBSD lets a user other than root unmount a filesystem only when that
// user mounted it and vfs.usermount is 1 (unmount(2)); a devd hook mounts
// as root. True when that rules out uid for the filesystem mounted on
// folder, so that a mount helper run as that user must fail. False
// elsewhere, and where it cannot be told.
bool unmount_denied(const char *folder, uid_t uid);

#endif
