#ifndef VORLIX_SYSTEM_NEEDS_H
#define VORLIX_SYSTEM_NEEDS_H

#include <QByteArray>

// What some tests need from the system that not every system has (FreeBSD
// mounts no /proc by default, and keeps ports' programs in /usr/local).
// A test that lacks one skips, saying which; it never fails for that.

// Null when the mount table can be read (which the filesystem info and the
// jobs' unmount of the whole disk rely on), else why not. Linux reads it
// from /proc.
const char *lacks_mount_table();

// Null when /proc shows a process's signal sets and descriptors as Linux
// does (/proc/<pid>/status with SigIgn and SigBlk, /proc/<pid>/fd), else
// why not.
const char *lacks_linux_proc();

// The program's path, found on this process's PATH, or empty.
QByteArray program_on_path(const char *name);

// A mount point apart from the filesystem that holds near: /proc, else
// /dev, whichever the system says is mounted on that very name. Empty when
// neither is.
QByteArray separate_mount_point(const QByteArray &near);

#endif
