#ifndef VORLIX_DISK_ATTACHMENT_H
#define VORLIX_DISK_ATTACHMENT_H

#include <string>

// FreeBSD: what the disk of that name ("da0") is attached through, as the
// kernel keeps it in the GEOM::attachment attribute: the CAM SIM's name
// and unit ("umass-sim0" for USB mass storage, "ahcich2", "vtscsi0"). It is
// read from the disk's node in /dev, so false when this user may not open
// it (the default for disks), when the kernel does not keep it, or
// elsewhere than on FreeBSD.
bool disk_attachment(const std::string &disk, std::string *attachment);

#endif
