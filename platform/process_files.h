#ifndef VORLIX_PROCESS_FILES_H
#define VORLIX_PROCESS_FILES_H

#include <sys/types.h>

#include <string>
#include <vector>

// What other programs hold open: to name what keeps a volume busy, and on
// FreeBSD to tell which device a FUSE daemon reads. Linux reads /proc;
// FreeBSD asks libprocstat.

struct OpenFile {
    long pid = 0;
    std::string command;    // the program's name ("fuse2fs", "bash")
    std::string path;       // the file as the system names it, or ""
    bool working_dir = false; // its current folder, not an open file
    bool device = false;    // a device node (block or character)
    std::string device_name; // FreeBSD: its name under /dev ("da0s2", "fuse")
    dev_t rdev = 0;         // Linux: the device's number
};

// Every file, device and working folder held by the processes this
// process may look into (its user's, or all as root), except its own.
// *complete is false when some could not be looked into. False when the
// system's list of processes could not be read at all.
bool list_open_files(std::vector<OpenFile> *files, bool *complete);

#endif
