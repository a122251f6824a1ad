#include "common/child_runner.h"

#include "common/message_box.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

// Write end of the pipe to our parent, in a process started by run_child.
int report_fd = -1;

bool write_all(int fd, const char *data, size_t len)
{
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

// Reads until every holder of the write end has closed it: the child at its
// exec or exit. Reading before the wait keeps a chatty child from filling
// the pipe and blocking while we block in the wait.
std::string read_to_end(int fd)
{
    std::string out;
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0)
            out.append(chunk, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    return out;
}

bool make_report_pipe(int fds[2])
{
    // Close-on-exec from the start: the command we exec must not hold the
    // pipe open, or the parent would wait for its end instead of the exec.
    return pipe2(fds, O_CLOEXEC) == 0;
}

} // namespace

bool forward_message_to_parent(const char *text)
{
    if (report_fd < 0)
        return false;
    const char *t = text ? text : "";
    // Each message ends with its NUL, which keeps them apart in the pipe.
    write_all(report_fd, t, strlen(t) + 1);
    return true;
}

int exec_or_report(const char *const argv[])
{
    execvp(argv[0], const_cast<char *const *>(argv));
    char msg[1025];
    snprintf(msg, sizeof msg, "vorlix: exec failed: %s\n", strerror(errno));
    message_box(msg);
    return 70;
}

bool run_child(const std::function<int()> &child_body, int *status)
{
    const int entry_errno = errno;

    int fds[2];
    if (!make_report_pipe(fds))
        return false;

    pid_t pid = fork();
    if (pid < 0) {
        int saved = errno;
        close(fds[0]);
        close(fds[1]);
        errno = saved;
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        report_fd = fds[1];
        // _exit, not exit: the copy must not run the parent's atexit
        // handlers and static destructors, which belong to the toolkit.
        _exit(child_body());
    }

    close(fds[1]);
    const std::string messages = read_to_end(fds[0]);
    close(fds[0]);

    int st = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &st, 0);
    } while (waited < 0 && errno == EINTR);
    const int wait_errno = errno;

    for (size_t pos = 0; pos < messages.size();) {
        size_t end = messages.find('\0', pos);
        if (end == std::string::npos)
            end = messages.size(); // a child cut short mid-write
        message_box(messages.substr(pos, end - pos).c_str());
        pos = end + 1;
    }

    if (waited < 0) {
        // Never judge a status that no child produced.
        errno = wait_errno;
        return false;
    }
    *status = st;
    errno = entry_errno;
    return true;
}
