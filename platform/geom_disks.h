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
    // Set by geom_disk_of only. Empty when base is a disk that can be
    // written whole: a DISK, or an MD (a memory or file-backed disk, as
    // for an image). Otherwise the class of the geom that ended the walk
    // down ("MIRROR", "CONCAT", "ZFS::ZVOL", or "PART" for a geom of a
    // known class with other than one consumer): base is then the provider
    // of that geom ("mirror/gm0" under "mirror/gm0p1"), which is no disk,
    // and providers are base and everything stacked on it, so that its
    // filesystems can still be found and unmounted.
    std::string unwritable_class;
    // What base's driver calls it, as the tree's "descr" gives it: a da
    // disk's vendor and product ("SanDisk Cruzer Blade"), an MMC or SD
    // card's kind, name and serial number ("SDHC SL16G 8.0 SN ..."). Empty
    // where the tree gives none.
    std::string description;
};

// The disk under the provider name and every provider on it. The walk
// down passes only through geoms that take exactly one provider and hand
// on its data: partitions, labels, encryption and nop layers (PART,
// LABEL, ELI, NOP); whatever it ends on is judged as unwritable_class
// says. False when the tree cannot be read or has no such provider.
bool geom_disk_of(const std::string &name, GeomSet *set);

// The provider name itself: the provider it labels, if it is a label, and
// every label of that one. False as above.
bool geom_volume_of(const std::string &name, GeomSet *set);

// True when nothing holds the provider open (its mode is r0w0e0); a
// partition's opens are counted on its disk too. False when it is gone,
// as a stick pulled out is not free to write (another may come back under
// its name), and when the tree cannot be read.
bool geom_provider_idle(const std::string &name);

// True when a program holds one of the providers open through its node
// in /dev (a FUSE daemon serving its filesystem, say), rather than the
// kernel through a mount. Such a hold only its program can let go of.
bool geom_opened_through_node(const std::vector<std::string> &names);

// Which disk a provider is, to tell it from another plugged in later
// under the same name.
struct GeomIdentity {
    std::string provider;   // the name asked for
    std::string ident;      // the serial number of the disk under it (its
                            // own, for a disk), empty where it gives none
    long long mediasize = 0; // the provider's own size in bytes
};

// False when the tree cannot be read or the provider is gone. Elsewhere
// than on FreeBSD always false.
bool geom_identity(const std::string &name, GeomIdentity *id);

// Something that holds a provider open.
struct GeomHold {
    std::string provider; // the provider held ("da0p1")
    std::string cls;      // the class of the geom holding it: "VFS" for a
                          // mounted filesystem, "DEV" for a program with its
                          // /dev node open, "ELI", "SWAP", "ZFS::VDEV", ...
};

// For each named provider, everything that holds it open (a consumer whose
// mode is not r0w0e0). Partitions and labels are looked through: a disk
// is held by what holds its partitions and labels, reported as holding
// those ("da0p1" held by "VFS"), not as the partition table holding the
// disk. Each hold comes once; empty when nothing holds them, when they
// are gone and when the tree cannot be read.
std::vector<GeomHold> geom_holds(const std::vector<std::string> &names);

// What the system's automounter sees of a provider (its autofs -media
// map lists the providers nothing holds open, each under the label of its
// filesystem or its own name).
struct GeomMediaView {
    std::string base;                // the provider the name labels, or the name itself: "da0s1"
    bool idle = false;               // nothing holds base open (r0w0e0)
    bool partitioned = false;        // a partition table is made from base
    std::vector<std::string> labels; // the labels made from base: "msdosfs/STICK", "gpt/DATA"
    std::vector<std::string> others; // every other provider in the tree, labels included
    std::string disk;                // the disk under base (geom_disk_of), or "" for none
};

// False when the tree cannot be read or has no such provider. Elsewhere
// than on FreeBSD always false.
bool geom_media_view(const std::string &name, GeomMediaView *view);

// A provider some program has open through its node in /dev (a DEV
// consumer that is not r0w0e0): a FUSE daemon reading it, an image tool
// writing it.
struct GeomNodeOpen {
    std::string provider; // "da0s1", "msdosfs/STICK"
    bool writing = false; // opened for writing
};

// Every such open; empty when there is none and when the tree cannot be
// read (*read then false).
std::vector<GeomNodeOpen> geom_node_opens(bool *read);

// The GEOM provider name of a device path, however it is spelled:
// "/dev//da0s1" -> "da0s1" when the tree has a provider of that name;
// otherwise, for a character device (reached through a symbolic link or
// "..", say), the name the system gives its node, whether or not the tree
// knows it. Empty when neither gives a name.
std::string geom_provider_for(const char *device);

#endif
