#ifndef VORLIX_SESSION_LOCK_H
#define VORLIX_SESSION_LOCK_H

#include <string>

// One agent per user and graphical session: a lock on a file named after
// the session's display, in the user's own runtime folder. That is
// $XDG_RUNTIME_DIR where it is the user's and no one else may write to it;
// otherwise /tmp/vorlix-watch-<uid>, made by the agent for the user alone.
// Another user could make that folder first: it is then refused, never
// used. The lock is the system's (fcntl), so it goes with the process,
// however that ends, and no child inherits it.

// The session's display, as it names the lock: $WAYLAND_DISPLAY where
// set, else $DISPLAY without its screen number (":0.1" is ":0"), with
// anything but letters, digits and ".-_:" made "_"; "none" without either.
std::string session_display(const char *wayland_display, const char *x_display);

class SessionLock
{
public:
    enum Outcome { taken, held, failed };

    SessionLock() = default;
    ~SessionLock();
    SessionLock(const SessionLock &) = delete;
    SessionLock &operator=(const SessionLock &) = delete;

    // Takes the lock for display. runtime_dir is $XDG_RUNTIME_DIR, or null.
    // Unless taken, *message says why, for the user; with taken, it may
    // hold a warning (a runtime folder not used, and why).
    Outcome take(const char *runtime_dir, const std::string &display, std::string *message);

    // Writes this process's number into the lock file: from then on the
    // agent watches, and whoever waits for that may go on.
    void mark_ready();

    // The lock file's path, once one was chosen.
    const std::string &file() const { return path; }

private:
    int fd = -1;
    std::string path;
};

#endif
