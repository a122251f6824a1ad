#include "common/child_runner.h"

#include "common/busy_cursor.h"
#include "common/format_text.h"
#include "common/inherited_state.h"
#include "common/input_discard.h"
#include "common/message_box.h"
#include "common/relay.h"
#include "common/texts.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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

int exec_or_report(const char *const argv[])
{
    execvp(argv[0], const_cast<char *const *>(argv));
    const int err = errno;
    relay_send_exec_error(err);
    char msg[1025];
    format_text(msg, sizeof msg, tx(Text::exec_failed), strerror(err));
    message_box(msg);
    return 70;
}

bool run_child(const std::function<int()> &child_body, ChildStatus *status)
{
    const int entry_errno = errno;

    int fds[2];
    if (!make_report_pipe(fds))
        return false;

    // A child has no windows and must not touch them.
    const bool main_process = !relay_active();
    if (main_process)
        show_busy_cursor();

    pid_t pid = fork();
    if (pid < 0) {
        int saved = errno;
        close(fds[0]);
        close(fds[1]);
        if (main_process)
            end_busy_cursor();
        errno = saved;
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        relay_attach(fds[1]);
        reset_signals_for_child();
        // _exit, not exit: the copy must not run the parent's atexit
        // handlers and static destructors, which belong to the toolkit.
        _exit(child_body());
    }

    close(fds[1]);
    const RelayReport report = relay_decode(read_to_end(fds[0]));
    close(fds[0]);

    int st = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &st, 0);
    } while (waited < 0 && errno == EINTR);
    const int wait_errno = errno;

    // Before anything is shown: clicks and keys made while we were blocked
    // must not act now. Busy until they are gone.
    if (main_process) {
        discard_pending_input();
        end_busy_cursor();
    }
    for (const std::string &message : report.messages)
        message_box(message.c_str());

    if (waited < 0) {
        // Never judge a status that no child produced.
        errno = wait_errno;
        return false;
    }
    status->wait_status = st;
    status->exec_errno = report.exec_errno;
    errno = entry_errno;
    return true;
}

bool run_command(const char *const argv[], ChildStatus *status)
{
    return run_child([argv] { return exec_or_report(argv); }, status);
}

void describe_failed_run(char *buf, size_t size, bool ran, const char *command,
                         const ChildStatus &status)
{
    if (!ran)
        format_text(buf, size, "%s", strerror(errno));
    else if (status.exec_errno != 0)
        format_text(buf, size, "%s", strerror(status.exec_errno));
    else if (WIFSIGNALED(status.wait_status))
        format_text(buf, size, tx(Text::killed_by_signal), command, WTERMSIG(status.wait_status));
    else
        format_text(buf, size, tx(Text::exited_with_status), command, WEXITSTATUS(status.wait_status));
}

std::string as_operand(const char *name)
{
    if (name[0] == '-')
        return std::string("./") + name;
    return name;
}
