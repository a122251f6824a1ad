#include "platform/bounded_query.h"

#include "common/child_exits.h"
#include "common/inherited_state.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool write_all(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The child's whole reply: the answer's length, then the answer. A child
// killed half way leaves a reply that does not add up.
std::string framed(const std::string &answer)
{
    const uint64_t size = answer.size();
    return std::string(reinterpret_cast<const char *>(&size), sizeof size) + answer;
}

bool unframe(const std::string &reply, std::string *answer)
{
    uint64_t size = 0;
    if (reply.size() < sizeof size)
        return false;
    memcpy(&size, reply.data(), sizeof size);
    if (reply.size() - sizeof size != size)
        return false;
    *answer = reply.substr(sizeof size);
    return true;
}

// Ends a child that did not answer: killed, and reaped where it ended at
// once; otherwise left to end in its own time.
void end_child(pid_t pid)
{
    kill(pid, SIGKILL);
    for (int i = 0; i < 20; ++i) {
        const pid_t got = waitpid(pid, nullptr, WNOHANG);
        if (got == pid || (got < 0 && errno != EINTR))
            return;
        usleep(5 * 1000);
    }
    abandon_child(pid);
}

} // namespace

bool bounded_query(const std::function<std::string()> &question, int limit_ms, std::string *answer)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    const pid_t pid = fork();
    if (pid < 0) {
        const int saved = errno;
        close(fds[0]);
        close(fds[1]);
        errno = saved;
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        reset_signals_for_child();
        const std::string reply = framed(question());
        _exit(write_all(fds[1], reply.data(), reply.size()) ? 0 : 1);
    }
    close(fds[1]);

    const long long until = now_ms() + limit_ms;
    std::string reply;
    bool ended = false;
    for (;;) {
        const long long left = until - now_ms();
        if (left <= 0)
            break;
        pollfd pfd = {fds[0], POLLIN, 0};
        const int n = poll(&pfd, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        char chunk[4096];
        const ssize_t got = read(fds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ended = true; // the child has closed its end: it is done
            break;
        }
        reply.append(chunk, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (!ended) {
        end_child(pid);
        errno = ETIMEDOUT;
        return false;
    }
    // Its end is near: it has written all it will. Whoever else reaps
    // children (a SIGCHLD loop) may have taken it already.
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (!unframe(reply, answer)) {
        errno = EIO;
        return false;
    }
    return true;
}
