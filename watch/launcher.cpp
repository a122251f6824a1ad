#include "watch/launcher.h"

#include "common/child_exits.h"
#include "common/inherited_state.h"
#include "platform/mount_root.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

bool Launcher::install()
{
    return watch_child_exits();
}

int Launcher::ended_fd() const
{
    return child_exit_fd();
}

void Launcher::reap()
{
    drain_child_exits();
    int status;
    while (waitpid(-1, &status, WNOHANG) > 0) {
    }
}

pid_t Launcher::start(const VolumeStart &volume) const
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;

    // The child: the window belongs to no terminal or process group of
    // the agent's, and gets default signal handling whatever the agent had.
    setsid();
    reset_signals_for_child();
    // Nothing the agent holds or inherited reaches vorlix: descriptors
    // that whatever started the agent left open without close-on-exec
    // included.
    closefrom(3);
    // The check is made on the mount itself, not on its path: another user
    // who may rename a folder above it could put a folder of theirs in its
    // place between the agent's reading of the table and this.
    const int root = open_mount_root(volume.mount);
    if (root < 0)
        _exit(0);
    if (faccessat(root, ".", R_OK | X_OK, 0) != 0)
        _exit(0);
    close(root);
    const char *argv[] = {program.c_str(), volume.mount_point.c_str(), volume.device.c_str(),
                          volume.fs_type.c_str(), nullptr};
    execvp(argv[0], const_cast<char *const *>(argv));
    const int saved = errno;
    fprintf(stderr, "vorlix-watch: cannot start %s for %s: %s\n", program.c_str(),
            printable(volume.mount_point).c_str(), strerror(saved));
    _exit(127);
}

std::string printable(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}
