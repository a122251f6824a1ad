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

// Unmounts the volume: the filesystem on its folder first, then every other
// mount of the volume's own device. Never one of another device: when such
// a filesystem lies on top of the folder, the helper would take it away and
// leave the volume mounted, so nothing is run and the result is busy. A
// device the system knows with nothing left on the folder (a second try)
// goes straight to its other mounts. Done only once the table shows no
// mount of the device and nothing holds it.
// wait_ms: how long the system is given to let go of the device after
// its last unmount (a FUSE daemon ends in its own time); -1 for
// wait_limits().release_ms.
Release release_volume(const char *mount_point, const DeviceSet &volume, const UnmountDir &unmount_dir,
                       int wait_ms = -1);

// Unmounts every filesystem of the disk, deepest folder first. One that lies
// under a filesystem of another device is not reached, and counts as still
// mounted. Done once the table shows none and nothing holds the disk.
Release release_disk(const DeviceSet &disk, const UnmountDir &unmount_dir, int wait_ms = -1);

// The folder as the mount table names it: as given when the table lists
// it so (nothing is asked of the filesystem there, which may have stopped
// answering), else resolved, else as given.
std::string folder_as_table_names(const char *dir);

// True while a filesystem of the volume is still mounted, or one on its
// folder cannot be told apart from it, or the table cannot be read: the
// window must then stay, as it alone can unmount the volume.
bool still_mounted(const char *mount_point, const DeviceSet &volume);

#endif
