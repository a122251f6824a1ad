#ifndef VORLIX_WINDOW_DISK_H
#define VORLIX_WINDOW_DISK_H

#include <string>

struct DeviceSet;

// The disk that held the volume when the window opened: the one the user
// saw named on its buttons. A job writes that disk or none. A stick pulled
// while the window waited, and another plugged in under its name, is not
// the disk the user chose.

// Takes the identity of device's disk (disk_identity; what it asks of a
// filesystem goes through fs_probe.h). Once, as the window first shows,
// before any press is handled.
void take_window_disk(const char *device);

// Whether disk, as found now, is the disk taken then. Never where its
// identity could not be told then or now, or was never taken.
bool is_window_disk(const DeviceSet &disk);

#endif
