#include "watch/launcher.h"

#include "common/inherited_state.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The write end of the pipe, for the handler.
volatile sig_atomic_t child_pipe = -1;

void on_child(int)
{
    const int saved = errno;
    const char byte = 'c';
    // A full pipe already says that a child ended.
    if (write(child_pipe, &byte, 1) < 0) {
    }
    errno = saved;
}

} // namespace

Launcher::~Launcher()
{
    if (pipe_read >= 0) {
        signal(SIGCHLD, SIG_DFL);
        child_pipe = -1;
        close(pipe_read);
        close(pipe_write);
    }
}

bool Launcher::install()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    pipe_read = fds[0];
    pipe_write = fds[1];
    child_pipe = pipe_write;

    struct sigaction act = {};
    act.sa_handler = on_child;
    sigemptyset(&act.sa_mask);
    act.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    if (sigaction(SIGCHLD, &act, nullptr) != 0)
        return false;
    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    return sigprocmask(SIG_UNBLOCK, &chld, nullptr) == 0;
}

void Launcher::reap()
{
    char bytes[64];
    while (read(pipe_read, bytes, sizeof bytes) > 0) {
    }
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
    if (access(volume.mount_point.c_str(), R_OK | X_OK) != 0)
        _exit(0);
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
