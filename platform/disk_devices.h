#ifndef VORLIX_DISK_DEVICES_H
#define VORLIX_DISK_DEVICES_H

#include <sys/types.h>

#include <string>
#include <vector>

struct MountEntry;

// A volume, or the whole disk that holds it, and every device that belongs
// to it, as the system knows them: by device number on Linux (sysfs), by
// GEOM provider on FreeBSD. A name can be spelled many ways and a label
// does not name its disk; the system's own answer has neither problem.
// Where the system does not know the device (no such node, or a disk image
// file), the name rules of common/disk_names.h decide instead.
struct DeviceSet {
    enum Basis { by_name, by_number, by_provider };
    Basis basis = by_name;
    bool whole_disk = false;
    // What to name it by: the device as given for a volume, the disk's node
    // for a disk ("/dev/sdb" for /dev/sdb1, "/dev/da1" for /dev/gpt/BACKUP).
    std::string node;
    // by_number: the device numbers of every member (for a disk: itself,
    // its partitions, and the devices built on them, such as dm-crypt).
    std::vector<dev_t> numbers;
    // by_provider: the provider names of every member ("da1", "da1p1",
    // "gpt/BACKUP"), and the one whose open count says whether anything
    // still holds the set.
    std::vector<std::string> providers;
    std::string holder;
    // A disk that is no disk vorlix may write as a whole, as it spans
    // several or is none ("mirror/gm0 (MIRROR)", "zvol/pool/v (ZFS::ZVOL)"
    // on FreeBSD, "md0" on Linux): what lies between the volume and its
    // disks, named. Empty for a disk that may be written.
    std::string unwritable;
    // by_name: the file the node names, where it is one.
    bool is_file = false;
    dev_t file_dev = 0;
    ino_t file_ino = 0;
};

// The volume's own device and its other names (on FreeBSD its labels).
DeviceSet volume_devices(const char *device);

// The whole disk that holds device, and everything on it.
DeviceSet disk_devices(const char *device);

// Whether a mounted filesystem comes from the set. Unknown where the system
// cannot tell: a FUSE filesystem whose program cannot be matched to a
// device (FreeBSD), or whose source did not answer.
enum class Owner { other, member, unknown };
Owner mount_owner(const MountEntry &mount, const DeviceSet &set);

// False while anything still holds a device of the set, where the system
// tells (device_holders.h says what): on FreeBSD the provider's GEOM open
// count, on Linux the kernel's claim (a filesystem mounted in any
// namespace, a device built on it) and the programs that have a device of
// it open; for a disk image file any program that has it open. A disk
// that is gone is held: another may have taken its name.
bool devices_released(const DeviceSet &set);

// Whether path lies on the set: on one of its filesystems, on one built on
// them (an overlay with a layer there, a loop device or a FUSE filesystem
// reading a file there), or is one of its devices itself.
struct Placement {
    enum Answer { elsewhere, on_it, cannot_tell, silent };
    Answer answer = elsewhere;
    // cannot_tell: the folder of the FUSE filesystem in question; silent:
    // what did not answer.
    std::string where;
};
Placement path_on_devices(const char *path, const DeviceSet &set);

// True when a device of the disk outside the volume is held by a program
// that no unmount makes let go (FreeBSD: a FUSE daemon serving another
// partition). Writing the disk would then fail after the volume had been
// unmounted for nothing. False where the system cannot tell.
bool disk_held_beside(const DeviceSet &disk, const DeviceSet &volume);

// What tells this disk from the next one plugged in under the same name
// (its size, serial number, GEOM ident; a file's identity; a name with no
// node behind it, as such). Empty when the disk is not there, or cannot be
// told.
std::string disk_identity(const DeviceSet &disk);

#endif
