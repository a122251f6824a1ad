#ifndef VORLIX_SESSION_LOCK_H
#define VORLIX_SESSION_LOCK_H

#include <string>
#include <vector>

// One agent per user and graphical session: a lock on a file named after
// each of the session's displays, in each of the user's own runtime
// folders. Those are /tmp/vorlix-watch-<uid>, made by the agent for the
// user alone, and $XDG_RUNTIME_DIR where it is set, the user's and no one
// else may write to it: an agent started without the variable and one
// started with it meet in the first, whatever the second says. Another
// user could make the folder in /tmp first: it is then refused, never
// used, and the runtime folder alone holds the lock. The lock is the
// system's (fcntl), so it goes with the process, however that ends, and no
// child inherits it.

// The session's displays, as they name its locks, in the order they are
// taken: X's, normalised (":0", ":0.1", "unix:0" and "localhost:0" are all
// ":0"; another host keeps its name), and Wayland's socket, as a path
// (a bare name lies in runtime_dir, where one is given). With both
// DISPLAY and WAYLAND_DISPLAY set an agent holds both, so that it meets
// one started with either. Anything but letters, digits and ".-_:" is made
// "_"; {"none"} without either.
std::vector<std::string> session_displays(const char *wayland_display, const char *x_display,
                                          const char *runtime_dir);

class SessionLock
{
public:
    enum Outcome { taken, held, failed };

    SessionLock() = default;
    ~SessionLock();
    SessionLock(const SessionLock &) = delete;
    SessionLock &operator=(const SessionLock &) = delete;

    // Takes the locks for displays, or none: where another agent holds
    // one, those taken so far are let go. runtime_dir is $XDG_RUNTIME_DIR,
    // or null. Unless taken, *message says why, for the user; with taken,
    // it may hold a warning (a folder not used, and why).
    Outcome take(const char *runtime_dir, const std::vector<std::string> &displays, std::string *message);

    // Writes this process's number into the lock files: from then on the
    // agent watches, and whoever waits for that may go on.
    void mark_ready();

    // The lock files, once taken.
    const std::vector<std::string> &files() const { return paths; }

    // Where the folder of the user's own is made: "/tmp"; tests give a
    // scratch folder.
    std::string shared_parent = "/tmp";

private:
    void let_go();

    std::vector<int> fds;
    std::vector<std::string> paths;
};

#endif
