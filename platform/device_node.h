#ifndef VORLIX_DEVICE_NODE_H
#define VORLIX_DEVICE_NODE_H

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

// Device nodes named by paths that anyone may have made up (a mount's
// source, the link of a program's open file), found so that no other user
// can steer the lookup and no other filesystem is asked: the path must be
// one entry of the kernel's own device filesystem mounted on /dev
// (devtmpfs), a device node itself and no symbolic link. "/dev/sdb1" may be
// one; "/dev/shm/x" (a folder anyone may write to), "/dev/shm/x (deleted)"
// (the link of an unlinked file there), "/dev/disk/by-label/STICK" (a link)
// and "/dev/../x" never are. A link could lead into a filesystem that
// stopped answering, and a lookup there would never return.
//
// Linux only: FreeBSD names its devices by GEOM provider (geom_disks.h) and
// the kernel's records, never by looking a path up; there nothing is ever
// found.

// /dev opened once, and known to be devtmpfs, for many lookups.
class DevfsFolder
{
public:
    DevfsFolder();
    ~DevfsFolder();
    DevfsFolder(const DevfsFolder &) = delete;
    DevfsFolder &operator=(const DevfsFolder &) = delete;

    // The block or character device node that path names, into *st.
    bool node(const std::string &path, struct stat *st) const;

private:
    int fd = -1; // /dev, where it is devtmpfs itself
};

// The block or character device node that path names, into *st, for a
// single look: /dev is opened only where path may be one.
bool devfs_device_node(const std::string &path, struct stat *st);

// The block device that a mount's source names in /dev.
bool devfs_block_device(const std::string &source, dev_t *number);

#endif
