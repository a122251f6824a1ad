#ifndef VORLIX_RELEASE_MOUNTS_H
#define VORLIX_RELEASE_MOUNTS_H

#include <functional>
#include <string>

struct DeviceSet;

// Runs the mount helper on one folder. True when it says the filesystem
// there is gone; it tells the user itself why not.
using UnmountDir = std::function<bool(const std::string &dir)>;

enum class Release {
    done,          // nothing of the set is mounted, and nothing holds it
    helper_failed, // the helper failed, and said why
    busy,          // still mounted or held: under another device's filesystem,
                   // kept by something, or the helper's success did not happen
    no_table,      // the mount table could not be read; errno says why
};

// How long the system is given to let go of a device after its last
// unmount: a FUSE daemon ends in its own time.
const int release_wait_ms = 5000;

// Unmounts the volume: the filesystem on its folder first, then every other
// mount of the volume's own device. Never one of another device: when such
// a filesystem lies on top of the folder, the helper would take it away and
// leave the volume mounted, so nothing is run and the result is busy. A
// device the system knows with nothing left on the folder (a second try)
// goes straight to its other mounts. Done only once the table shows no
// mount of the device and nothing holds it.
Release release_volume(const char *mount_point, const DeviceSet &volume, const UnmountDir &unmount_dir,
                       int wait_ms = release_wait_ms);

// Unmounts every filesystem of the disk, deepest folder first. One that lies
// under a filesystem of another device is not reached, and counts as still
// mounted. Done once the table shows none and nothing holds the disk.
Release release_disk(const DeviceSet &disk, const UnmountDir &unmount_dir, int wait_ms = release_wait_ms);

#endif
