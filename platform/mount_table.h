#ifndef VORLIX_MOUNT_TABLE_H
#define VORLIX_MOUNT_TABLE_H

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

// One mounted filesystem, as the system lists it.
struct MountEntry {
    std::string source; // what is mounted there: a device node, as a rule
    std::string dir;    // the directory it is mounted on
    dev_t dev = 0;      // the st_dev of its files where the table tells (Linux), else 0
    std::string type;   // the filesystem's type: "ext4", "fuseblk", "msdosfs"
    // Where the table tells (Linux): the mount's own id and the id of the
    // mount it lies on, which for one of several stacked on one folder is
    // the one beneath it. 0 where it does not.
    int id = 0;
    int parent = 0;
    // Linux: the filesystem's own options ("rw,lowerdir=/a:/b,upperdir=..."
    // for an overlay) as the table writes them: a comma in a value stands
    // escaped as \054, so decode each value only once split off.
    std::string options{};
    // FreeBSD: the user who mounted it (statfs's f_owner). For a FUSE
    // filesystem the kernel lets a user other than root mount only a
    // daemon of that user's own.
    uid_t owner = 0;
    // FreeBSD: the filesystem's id (statfs's f_fsid), which the kernel
    // shows as 0 to anyone but root. 0 elsewhere.
    uint64_t fsid = 0;
};

// Fills *mounts with every filesystem mounted now, in the system's order.
// Returns false with errno set when the table cannot be read.
bool list_mounts(std::vector<MountEntry> *mounts);

// The table's \ooo escapes decoded ("\040" is a space).
std::string decode_octal_escapes(const char *s);

// A mount's options split at their commas, each still as the table
// escapes it ("rw", "user_id=1000", "lowerdir=/a:/b").
std::vector<std::string> mount_options(const std::string &options);

// Linux: the table of another mount namespace, as a process in it sees
// it (/proc/<pid>/mountinfo), in the same form.
bool read_mountinfo(const char *path, std::vector<MountEntry> *mounts);

// True when mounts[i] is the topmost of the filesystems mounted on its
// folder: the one a path through that folder reaches, and the one that
// unmounting the folder takes away. Where the table gives ids, no other
// mount on the folder lies on it, whatever the order of the table (a mount
// can be moved beneath another); elsewhere it is the last mounted there.
bool on_top_of_folder(const std::vector<MountEntry> &mounts, size_t i);

#endif
