#ifndef VORLIX_GEOM_DISKS_H
#define VORLIX_GEOM_DISKS_H

#include <string>
#include <vector>

// FreeBSD's own account of its disks: the GEOM tree, where a disk is a
// provider of rank 1 and partitions, labels (gpt/, msdosfs/, diskid/, ...)
// and encrypted layers (.eli) are providers stacked on it. Names are those
// under /dev: "da0s1", "gpt/BACKUP".

struct GeomSet {
    std::string base;                   // the provider everything else rests on
    std::vector<std::string> providers; // base first
    // Set when the way down to a disk passes a geom vorlix cannot write
    // through (a mirror, a concatenation, a ZFS volume, ...): its class.
    std::string unwritable_class;
};

// The rank-1 disk under the provider name, and every provider on it.
// False when the tree cannot be read or has no such provider.
bool geom_disk_of(const std::string &name, GeomSet *set);

// The provider name itself: the provider it labels, if it is a label, and
// every label of that one. False as above.
bool geom_volume_of(const std::string &name, GeomSet *set);

// True when nothing holds the provider open (its mode is r0w0e0), or when
// it is gone; a partition's opens are counted on its disk too. False when
// the tree cannot be read.
bool geom_provider_idle(const std::string &name);

// True when a program holds one of the providers open through its node
// in /dev (a FUSE daemon serving its filesystem, say), rather than the
// kernel through a mount. Such a hold only its program can let go of.
bool geom_opened_through_node(const std::vector<std::string> &names);

// What identifies a provider beyond its name, which the next disk plugged
// in may be given. False when the tree cannot be read or it is gone.
struct GeomIdentity {
    std::string provider;
    std::string ident;
    long long mediasize = 0;
};
bool geom_identity(const std::string &name, GeomIdentity *id);

// Who holds the providers open: one entry for each consumer attached with
// a mode other than r0w0e0, with the class of its geom (VFS for a mounted
// filesystem, DEV for a program through /dev, ELI, SWAP, ZFS::VDEV, ...).
struct GeomHold {
    std::string provider;
    std::string cls;
};
std::vector<GeomHold> geom_holds(const std::vector<std::string> &names);

// The provider a device path names: its name under /dev when GEOM knows
// it, else what the node itself is ("/dev/../dev/da0s1", a link). Empty
// when it names none.
std::string geom_provider_for(const char *device);

#endif
