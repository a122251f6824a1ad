#include "common/child_runner.h"

#include "common/busy_cursor.h"
#include "common/child_exits.h"
#include "common/format_text.h"
#include "common/inherited_state.h"
#include "common/input_discard.h"
#include "common/message_box.h"
#include "common/relay.h"
#include "common/termination.h"
#include "common/texts.h"
#include "common/wait_limits.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

// A query that answers at once is not worth a busy cursor, and one that
// flickered would only distract.
const int quiet_ms = 150;
// Where the end of a child cannot be told by a descriptor (in a forked
// child), it is looked for this often.
const int look_again_ms = 50;
// How long a killed child is given to end before it is left to itself.
const int kill_grace_ms = 1000;

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool make_report_pipe(int fds[2])
{
    // Close-on-exec from the start: the command we exec must not hold the
    // pipe open, or the parent would wait for its end instead of the exec.
    return pipe2(fds, O_CLOEXEC) == 0;
}

// One child being waited for: what it reports and how it ended.
struct Watch {
    pid_t pid = -1;
    int report_fd = -1;
    std::string report;
    bool reaped = false;
    int status = 0;
    int wait_errno = 0;

    bool try_reap()
    {
        if (reaped)
            return true;
        int st = 0;
        const pid_t got = waitpid(pid, &st, WNOHANG);
        if (got == pid) {
            reaped = true;
            status = st;
        } else if (got < 0 && errno != EINTR) {
            reaped = true; // nothing left to wait for
            wait_errno = errno;
        }
        return reaped;
    }

    void read_report()
    {
        char chunk[4096];
        const ssize_t n = read(report_fd, chunk, sizeof chunk);
        if (n > 0) {
            report.append(chunk, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(report_fd);
            report_fd = -1;
        }
    }

    // Takes in what the child has reported and whether it has ended,
    // waiting up to ms for something to happen (-1: as long as it takes).
    void wait_some(int ms)
    {
        const int exit_fd = child_exit_fd();
        if (exit_fd < 0 && (ms < 0 || ms > look_again_ms))
            ms = look_again_ms;
        pollfd fds[2];
        nfds_t n = 0;
        if (report_fd >= 0)
            fds[n++] = {report_fd, POLLIN, 0};
        if (exit_fd >= 0)
            fds[n++] = {exit_fd, POLLIN, 0};
        if (poll(fds, n, ms) > 0) {
            for (nfds_t i = 0; i < n; ++i) {
                if (fds[i].revents == 0)
                    continue;
                if (fds[i].fd == exit_fd)
                    drain_child_exits();
                else
                    read_report();
            }
        }
        try_reap();
        reap_abandoned_children();
    }

    // What the child wrote before it ended; a descendant that kept the
    // pipe open past that is not waited for.
    void read_rest()
    {
        while (report_fd >= 0) {
            pollfd pfd = {report_fd, POLLIN, 0};
            if (poll(&pfd, 1, 0) <= 0) {
                close(report_fd);
                report_fd = -1;
                break;
            }
            read_report();
        }
    }

    // Ends the child and all it started; one that does not end at once is
    // left to end in its own time, its outcome never read.
    void end()
    {
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        const long long until = now_ms() + kill_grace_ms;
        while (!try_reap() && now_ms() < until)
            wait_some(static_cast<int>(until - now_ms()));
        if (!reaped)
            abandon_child(pid);
        if (report_fd >= 0) {
            close(report_fd);
            report_fd = -1;
        }
    }
};

// The user's choice once a companion has run for a while: keep waiting
// (true) or stop it. The question goes by itself when the child ends.
bool keep_waiting(const Patience &patience, long long waited_ms, Watch *watch)
{
    char text[1025];
    format_text(text, sizeof text, tx(Text::still_waiting), patience.command, patience.folder,
                static_cast<int>(waited_ms / 1000));
    const int answer = question_box(text, tx(Text::keep_waiting_button), tx(Text::stop_button), [watch] {
        watch->wait_some(0);
        return watch->reaped;
    });
    return answer != 1;
}

enum class Outcome { ended, gave_up, stopped };

// Waits for the child: without a bound, or until limit_ms (a query), or
// asking the user now and then (a companion with patience).
Outcome wait_for(Watch *watch, bool main_process, bool quiet, int limit_ms, const Patience *patience)
{
    const long long start = now_ms();
    long long busy_at = main_process && quiet ? start + quiet_ms : -1;
    const long long give_up_at = limit_ms >= 0 ? start + limit_ms : -1;
    long long ask_at = main_process && patience != nullptr ? start + wait_limits().ask_ms : -1;
    bool busy = main_process && !quiet;

    Outcome outcome = Outcome::ended;
    while (!watch->reaped) {
        long long next = -1;
        for (long long at : {busy_at, give_up_at, ask_at})
            if (at >= 0 && (next < 0 || at < next))
                next = at;
        const long long now = now_ms();
        watch->wait_some(next < 0 ? -1 : static_cast<int>(next > now ? next - now : 0));
        if (watch->reaped)
            break;
        const long long t = now_ms();
        if (busy_at >= 0 && t >= busy_at) {
            show_busy_cursor();
            busy = true;
            busy_at = -1;
        }
        if (give_up_at >= 0 && t >= give_up_at) {
            watch->end();
            outcome = Outcome::gave_up;
            break;
        }
        if (ask_at >= 0 && t >= ask_at) {
            if (busy)
                end_busy_cursor();
            const bool keep = keep_waiting(*patience, t - start, watch);
            if (busy)
                show_busy_cursor();
            if (!keep && !watch->reaped) {
                watch->end();
                outcome = Outcome::stopped;
                break;
            }
            ask_at = now_ms() + wait_limits().ask_ms;
        }
    }
    watch->read_rest();

    // Before anything is shown: clicks and keys made while we were blocked
    // must not act now. Busy until they are gone.
    if (busy) {
        discard_pending_input();
        end_busy_cursor();
    }
    return outcome;
}

// Forks and waits; false with errno set when no child ran or could be
// waited for, or (ETIMEDOUT) when one that had to answer within limit_ms
// did not.
bool run(const std::function<int()> &child_body, bool quiet, int limit_ms, const Patience *patience,
         ChildStatus *status, RelayReport *report)
{
    const int entry_errno = errno;

    int fds[2];
    if (!make_report_pipe(fds))
        return false;

    // A child has no windows and must not touch them.
    const bool main_process = !relay_active();
    if (main_process && !quiet)
        show_busy_cursor();

    pid_t pid = fork();
    if (pid < 0) {
        int saved = errno;
        close(fds[0]);
        close(fds[1]);
        if (main_process && !quiet)
            end_busy_cursor();
        errno = saved;
        return false;
    }
    if (pid == 0) {
        // A group of its own, so that it and all it starts can be ended
        // together: by Stop, by a query's bound, or when vorlix is ended.
        setpgid(0, 0);
        close(fds[0]);
        relay_attach(fds[1]);
        reset_signals_for_child();
        // _exit, not exit: the copy must not run the parent's atexit
        // handlers and static destructors, which belong to the toolkit.
        _exit(child_body());
    }
    setpgid(pid, pid); // either of us may come first
    if (main_process)
        note_child_group(pid);

    close(fds[1]);
    Watch watch;
    watch.pid = pid;
    watch.report_fd = fds[0];
    const Outcome outcome = wait_for(&watch, main_process, quiet, limit_ms, patience);
    if (main_process)
        note_child_group(0);

    *report = relay_decode(watch.report);
    for (const std::string &message : report->messages)
        message_box(message.c_str());

    if (outcome == Outcome::gave_up) {
        errno = ETIMEDOUT;
        return false;
    }
    if (outcome == Outcome::stopped) {
        status->wait_status = SIGKILL; // as killed by that signal: never a success
        status->exec_errno = 0;
        status->stopped = true;
        errno = entry_errno;
        return true;
    }
    if (watch.wait_errno != 0) {
        // Never judge a status that no child produced.
        errno = watch.wait_errno;
        return false;
    }
    status->wait_status = watch.status;
    status->exec_errno = report->exec_errno;
    status->stopped = false;
    errno = entry_errno;
    return true;
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

bool run_child(const std::function<int()> &child_body, ChildStatus *status, const Patience *patience)
{
    RelayReport report;
    return run(child_body, false, -1, patience, status, &report);
}

bool run_command(const char *const argv[], ChildStatus *status, const Patience *patience)
{
    return run_child([argv] { return exec_or_report(argv); }, status, patience);
}

bool run_query(const std::function<std::string()> &question, int limit_ms, std::string *answer)
{
    ChildStatus status;
    RelayReport report;
    const auto body = [&question] {
        relay_send_answer(question());
        return 0;
    };
    if (!run(body, true, limit_ms, nullptr, &status, &report))
        return false;
    if (!report.answered) {
        errno = EIO; // it died before it could answer
        return false;
    }
    *answer = report.answer;
    return true;
}

void describe_failed_run(char *buf, size_t size, bool ran, const char *command,
                         const ChildStatus &status)
{
    if (!ran)
        format_text(buf, size, "%s", strerror(errno));
    else if (status.stopped)
        format_text(buf, size, tx(Text::stopped_by_user), command);
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
