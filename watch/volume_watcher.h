#ifndef VORLIX_VOLUME_WATCHER_H
#define VORLIX_VOLUME_WATCHER_H

#include "platform/mount_table.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// What vorlix is started with: the mount point, the device and the
// filesystem type, as the mount table names them (on FreeBSD, for a FUSE
// mount, the device its daemon reads: the table names /dev/fuse); and the
// mount itself, to know it again by (launcher.h).
struct VolumeStart {
    std::string mount_point;
    std::string device;
    std::string fs_type;
    MountEntry mount;
};

// Tells, from one reading of the mount table to the next, which volumes
// have newly appeared. A volume is the filesystem of one device: a bind
// mount of it, a second mount of the same device and a remount are not new
// volumes. Once none of its mounts is left, it is gone, and mounting it
// again makes it new. A volume a reading leaves out is gone only when its
// mounts are (mount_recheck.h): FreeBSD's table hides a mount while an
// unmount of it is underway, which may yet fail; but a mount under an
// autofs folder is gone with its last reading, as looking it up would
// mount it again. What the table held at
// the first reading is there already: it is never new.
class VolumeWatcher
{
public:
    // Whether a new volume gets a window, asked once per new volume.
    using Admit = std::function<bool(const MountEntry &)>;

    explicit VolumeWatcher(Admit admit) : admit(std::move(admit)) {}

    // The first reading.
    void begin(const std::vector<MountEntry> &mounts);

    // A later reading: the volumes to start vorlix for, in table order,
    // each with its first mount in the table. A volume whose mount point,
    // device or type is empty or begins with "-" is never started, as the
    // program would take such an argument for an option of its own.
    std::vector<VolumeStart> update(const std::vector<MountEntry> &mounts);

private:
    // volume -> the mounts of it, as last read, by their keys
    using Volumes = std::map<std::string, std::map<std::string, MountEntry>>;
    Volumes volumes_of(const std::vector<MountEntry> &mounts);
    // A mount's volume, decided once, when it first appears: on FreeBSD a
    // FUSE mount's asks which device its daemon reads.
    std::string key_of(const MountEntry &m);
    // Once a reading is taken in: the keys of mounts no longer known go.
    void forget_gone_keys();

    Admit admit;
    Volumes known;
    std::map<std::string, std::string> keys; // mount -> its volume
};

#endif
