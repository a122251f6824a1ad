#ifndef VORLIX_CHILD_RUNNER_H
#define VORLIX_CHILD_RUNNER_H

#include <stddef.h>

#include <functional>
#include <string>

// Every outside command runs through here: fork, let the child exec or
// report, wait for that very child.

// How a child ended.
struct ChildStatus {
    int wait_status = 0; // the raw status from the wait; 0 is success
    int exec_errno = 0;  // non-zero: the command could not be started, for this reason
    // The user stopped it while it waited; wait_status then says killed,
    // so that it never reads as success.
    bool stopped = false;
};

// A companion command the user may give up on: once it has run for
// wait_limits().ask_ms, the user is told that `command` is still waiting
// on `folder` and may keep waiting or stop it, and is asked again as
// often. Without it a run waits as long as the command does (a file
// manager, a terminal: someone is using those).
struct Patience {
    const char *command = nullptr;
    const char *folder = nullptr;
};

// The child starts in a process group of its own, with default signal
// actions and an empty signal mask, runs child_body and ends with
// _exit(<its result>) if the body returns. The body must not touch the
// toolkit; message_box() called in the child only queues the text for the
// parent. Once the child has ended, the parent drops the input that
// reached its windows meanwhile, shows the queued messages in order (a
// grandchild's before the child's own) and only then returns.
//
// Returns true with *status filled in when a child ran. Returns false with
// errno set when no child could be started or waited for; *status is then
// left alone, as no run status exists. On success errno is as it was on entry.
bool run_child(const std::function<int()> &child_body, ChildStatus *status,
               const Patience *patience = nullptr);

// For a child body: replaces the process with the command argv[0], found by
// PATH search (taken as a path when it has a slash), with argv as its
// arguments. If that fails, reports "vorlix: exec failed: <reason>" and
// returns the non-zero status the child should end with.
int exec_or_report(const char *const argv[]);

// run_child with exec_or_report(argv) as the body.
bool run_command(const char *const argv[], ChildStatus *status, const Patience *patience = nullptr);

// Asks a question that may block for good (of a filesystem that stopped
// answering) in a child, which is killed if it has not answered within
// limit_ms. True with *answer set to what question() returned; false with
// errno ETIMEDOUT when no answer came in time, or the reason no child ran.
bool run_query(const std::function<std::string()> &question, int limit_ms, std::string *answer);

// Why a run of command failed, for the %s of a message: with ran false (no
// child), the system's text for errno; when the command could not be
// started, the text for that; otherwise how it ended ("kelmo exited with
// status 1", "thunar was killed by signal 9", "kelmo was stopped"). Cut
// to size.
void describe_failed_run(char *buf, size_t size, bool ran, const char *command,
                         const ChildStatus &status);

// A name as an operand for a command: a relative name that begins with "-"
// becomes "./-name", the same file, so that no command reads it as an
// option. Any other name comes back as it is.
std::string as_operand(const char *name);

#endif
