#ifndef VORLIX_MOUNT_RECHECK_H
#define VORLIX_MOUNT_RECHECK_H

#include "platform/mount_table.h"

#include <string>
#include <vector>

// Whether a mount that a reading of the table (list_mounts) left out is
// still there. FreeBSD's table, read without waiting, leaves out a mount
// while an unmount of it is underway, and that unmount may yet fail (the
// filesystem is busy): a lookup of the mount's folder waits for the
// outcome, and statfs(2) then says which filesystem it reached. That asks
// the mounted filesystem, which might not answer: the question goes
// through the probe (fs_probe.h), and no answer counts as still there.
// Linux's table never leaves out a mount that is there: false.
//
// A folder that lies under an autofs mount of the current table, or is
// one, is never looked up: the lookup would have automountd(8) mount there
// what its map lists, the very volume just unmounted. Such a mount counts
// as gone once the table leaves it out: where an unmount of it then fails,
// it is seen again as a new volume.
bool mount_still_there(const MountEntry &mount, const std::vector<MountEntry> &table);

// Whether something other than autofs is mounted right on dir: after a
// folder of an autofs map was entered, whether automountd(8) mounted what
// the map lists there, or the lookup only found autofs' own empty folder
// (its cache still valid). FreeBSD: statfs(2) of dir, which asks the
// filesystem there, and under autofs is itself such a lookup: to be asked
// only where it may be given up on (bounded_query.h). Linux: the mount
// table, which asks no filesystem.
bool mounted_over_autofs(const std::string &dir);

#endif
