#ifndef VORLIX_FUSE_LINK_H
#define VORLIX_FUSE_LINK_H

#include <sys/types.h>

#include <string>

struct MountEntry;

// A FUSE filesystem is served by a program, whose mount shows whatever
// name it chose (Linux: fsname=, which any user may set to "/dev/sdb1";
// FreeBSD: always /dev/fuse). Which device it really reads, and whose
// program it is, as far as the system tells.
struct FuseLink {
    enum State {
        linked,   // device says which device its program reads
        unlinked, // it reads no device of this machine's (sshfs, a file)
        unknown,  // the system does not tell, or hides it
    };
    State state = unknown;
    std::string device;     // linked: the device's node, "/dev/da0s1"
    bool owner_known = false;
    uid_t owner = 0;        // owner_known: the user its program runs as
};

// True for a FUSE filesystem's type: "fuse", "fuseblk", "fuse.sshfs" on
// Linux, "fusefs", "fusefs.exfat" on FreeBSD.
bool is_fuse_type(const std::string &type);

// The link of a FUSE mount. May ask the kernel about other programs'
// open files, which can block on a filesystem that stopped answering: it
// asks through fs_probe.h, which gives up at its bound (unknown then).
FuseLink fuse_link(const MountEntry &mount);

// FreeBSD: a link that only the GEOM tree told is kept while its mount and
// its daemon's open of the device last, so that sticks mounted one after
// another are told apart (fuse_link.cpp). Forgets them all, as a process
// that just started knows none.
void forget_fuse_links();

// Whether a FUSE mount's program may speak for a device of this machine:
// only one of root's or of uid's own. Another user's program can name any
// device, and serve anything under that name.
bool fuse_link_trusted(const FuseLink &link, uid_t uid);

#endif
