#ifndef VORLIX_VOLUME_WATCHER_H
#define VORLIX_VOLUME_WATCHER_H

#include "platform/mount_table.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// What vorlix is started with: the mount point, the device and the
// filesystem type, as the mount table names them; and the mount itself, to
// know it again by (launcher.h).
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
// again makes it new. What the table held at the first reading is there
// already: it is never new.
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
    // volume -> the mounts of it, as last read
    using Volumes = std::map<std::string, std::set<std::string>>;
    static Volumes volumes_of(const std::vector<MountEntry> &mounts);

    Admit admit;
    Volumes known;
};

#endif
