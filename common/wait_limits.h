#ifndef VORLIX_WAIT_LIMITS_H
#define VORLIX_WAIT_LIMITS_H

// How long vorlix waits, where a wait must have an end. A filesystem that
// has stopped answering (a stick that hung, a stopped FUSE daemon) would
// otherwise freeze the window for good.
struct WaitLimits {
    // A question to a filesystem (stat, statfs, realpath): past this it
    // counts as not responding.
    int query_ms = 10000;
    // A companion command (the mount helper): past this the user is told
    // what it still waits on, and may stop it; asked again as often.
    int ask_ms = 30000;
    // After the last unmount, for the system to let go of the device.
    int release_ms = 5000;
};

// The limits in force; the test build shortens them.
WaitLimits &wait_limits();

#endif
