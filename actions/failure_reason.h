#ifndef VORLIX_FAILURE_REASON_H
#define VORLIX_FAILURE_REASON_H

struct DeviceSet;

// After an unmount that did not free the volume or the disk: tells the
// user, in one box, what still holds it as far as the system says (a
// folder it is still mounted on, another mount namespace, a program by
// name and pid, a device or GEOM layer built on it, or that the system
// hides which programs do), and after it, or alone, that the user may not
// unmount folder at all. Says nothing where the system tells nothing.
void tell_what_holds(const DeviceSet &set, const char *folder);

// "vorlix: <what> is not responding."
void tell_not_responding(const char *what);

#endif
