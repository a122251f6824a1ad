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
    // by_name: the file the node names, where it is one.
    bool is_file = false;
    dev_t file_dev = 0;
    ino_t file_ino = 0;
};

// The volume's own device and its other names (on FreeBSD its labels).
DeviceSet volume_devices(const char *device);

// The whole disk that holds device, and everything on it.
DeviceSet disk_devices(const char *device);

// Whether a mounted filesystem comes from the set. Unknown where the table
// cannot tell: on FreeBSD a FUSE daemon's mount shows /dev/fuse.
enum class Owner { other, member, unknown };
Owner mount_owner(const MountEntry &mount, const DeviceSet &set);

// False while anything still holds a device of the set, where the system
// tells: on FreeBSD the provider's GEOM open count, on Linux the kernel's
// claim (a filesystem mounted in any namespace, a device built on it), when
// we may open the node. True where it cannot tell.
bool devices_released(const DeviceSet &set);

// True when path lies on a filesystem of the set, or is one of its devices.
// On FreeBSD a FUSE filesystem counts while a program holds a device of
// the set through its node: the table cannot say which device it reads.
bool path_on_devices(const char *path, const DeviceSet &set);

// True when a device of the disk outside the volume is held by a program
// that no unmount makes let go (FreeBSD: a FUSE daemon serving another
// partition). Writing the disk would then fail after the volume had been
// unmounted for nothing. False where the system cannot tell.
bool disk_held_beside(const DeviceSet &disk, const DeviceSet &volume);

#endif
