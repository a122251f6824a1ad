#ifndef VORLIX_DISK_ATTRIBUTE_H
#define VORLIX_DISK_ATTRIBUTE_H

#include <string>

// FreeBSD: a text attribute that the disk of that name ("da0") keeps for
// GEOM, such as "GEOM::attachment", where a da disk's driver records what
// it is attached through ("umass-sim0" for USB mass storage, "mpr0" for a
// SAS controller). It is read with DIOCGATTR from the disk's node in /dev,
// opened for reading only: only a user whom devfs lets open the node may
// ask (by default none but root and the operator group). False when the
// node cannot be opened, when the disk keeps no such attribute, and
// elsewhere than on FreeBSD.
bool disk_attribute(const std::string &disk, const char *attribute, std::string *value);

#endif
