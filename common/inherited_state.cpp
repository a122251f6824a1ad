#include "common/inherited_state.h"

#include "common/search_path.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

void take_over_inherited_state()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is taken, which is fd itself.
        const int null_fd = open("/dev/null", O_RDWR);
        if (null_fd >= 0 && null_fd != fd) {
            dup2(null_fd, fd);
            close(null_fd);
        }
    }

    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGCHLD, &dfl, nullptr);

    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    sigprocmask(SIG_UNBLOCK, &chld, nullptr);

    complete_search_path();
}

void reset_signals_for_child()
{
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    // Past the last signal, and for SIGKILL and SIGSTOP, sigaction just
    // fails; the bound covers the real-time signals of both systems.
    for (int sig = 1; sig < 128; ++sig)
        sigaction(sig, &dfl, nullptr);

    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}
