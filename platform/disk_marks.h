#ifndef VORLIX_DISK_MARKS_H
#define VORLIX_DISK_MARKS_H

#include <string>

// While a job of vorlix writes a disk, it holds an exclusive flock(2) on a
// file of its own, "/tmp/.vorlix-writing-<disk>.XXXXXX" (jobs/disk_mark.h),
// so that no automounter mounts what the kernel finds on the disk when a
// writer closes it. Only a regular file held locked is a mark.

// Where marks lie, "/tmp/" (tests give a folder of their own), and how
// their names begin there.
std::string &disk_mark_dir();
extern const char disk_mark_start[]; // ".vorlix-writing-"

// The disk's name in a mark's file name: the node's last part ("da0" for
// /dev/da0), its length bounded.
std::string disk_mark_name(const std::string &node);

// True while some job holds a mark on the disk of that name ("da0"). Asked
// through fs_probe.h: /tmp is a filesystem like any other. A mark that
// cannot be tested counts as held.
bool disk_marked(const std::string &disk);

#endif
