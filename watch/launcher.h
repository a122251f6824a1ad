#ifndef VORLIX_LAUNCHER_H
#define VORLIX_LAUNCHER_H

#include "watch/volume_watcher.h"

#include <sys/types.h>

#include <string>

// Starts vorlix for each new volume, and reaps it when it ends.
class Launcher
{
public:
    // Arranges to hear of ended children: SIGCHLD writes to a pipe, so that
    // a sleeping watcher wakes (an ignored SIGCHLD inherited from whatever
    // started the agent is undone here too; common/child_exits.h). False
    // with errno set.
    bool install();

    // Readable once a child has ended: the watcher sleeps on it as well.
    int ended_fd() const;

    // Reaps every child that has ended, and empties the pipe.
    void reap();

    // Starts the program, found on PATH, with the volume's mount point,
    // device and filesystem type as its three arguments, in a session of
    // its own, with descriptors 0 to 2 alone open. The child first opens
    // the mount point and makes sure that it still is that mount
    // (mount_root.h) and that this user may enter and read it, and
    // quietly ends if not: the volume is another user's, or its folder was
    // swapped. So the agent itself never touches the mounted filesystem,
    // which may not answer (a FUSE daemon that hangs).
    // Returns the child's process id, or -1 with errno set.
    pid_t start(const VolumeStart &volume) const;

    std::string program = "vorlix";
};

// Text from the mount table, fit for one line of a message: control
// characters become "?".
std::string printable(const std::string &text);

#endif
