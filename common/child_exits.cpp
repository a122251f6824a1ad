#include "common/child_exits.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

int exit_pipe[2] = {-1, -1};
pid_t main_pid = 0;
std::vector<pid_t> abandoned;

void on_child_exit(int)
{
    const int saved = errno;
    const char byte = 0;
    // Non-blocking: a full pipe already says what this would.
    if (write(exit_pipe[1], &byte, 1) < 0) {
    }
    errno = saved;
}

bool make_pipe(int fds[2])
{
    if (pipe(fds) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        fcntl(fds[i], F_SETFD, FD_CLOEXEC);
        fcntl(fds[i], F_SETFL, fcntl(fds[i], F_GETFL) | O_NONBLOCK);
    }
    return true;
}

} // namespace

bool watch_child_exits()
{
    if (exit_pipe[0] >= 0)
        return true;
    if (!make_pipe(exit_pipe))
        return false;
    main_pid = getpid();
    struct sigaction sa = {};
    sa.sa_handler = on_child_exit;
    sigemptyset(&sa.sa_mask);
    // Restarted calls: the toolkit's own reads and writes need not know.
    sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    if (sigaction(SIGCHLD, &sa, nullptr) != 0)
        return false;
    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    return sigprocmask(SIG_UNBLOCK, &chld, nullptr) == 0;
}

int child_exit_fd()
{
    return getpid() == main_pid ? exit_pipe[0] : -1;
}

void drain_child_exits()
{
    char buf[64];
    while (exit_pipe[0] >= 0 && read(exit_pipe[0], buf, sizeof buf) > 0) {
    }
}

void abandon_child(pid_t pid)
{
    abandoned.push_back(pid);
}

void reap_abandoned_children()
{
    abandoned.erase(std::remove_if(abandoned.begin(), abandoned.end(),
                                   [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; }),
                    abandoned.end());
}
