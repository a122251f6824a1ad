#ifndef VORLIX_CHILD_RUNNER_H
#define VORLIX_CHILD_RUNNER_H

#include <functional>

// Every outside command runs through here: fork, let the child exec or
// report, wait for that very child.
//
// The child runs child_body and ends with _exit(<its result>) if the body
// returns. The body must not touch the toolkit; message_box() called in the
// child only queues the text for the parent. Once the child has ended, the
// parent shows the queued messages in order (a grandchild's before the
// child's own) and only then returns.
//
// Returns true with the raw wait status in *status when a child ran. Returns
// false with errno set when no child could be started or waited for; *status
// is then left alone, as no run status exists. On success errno is as it was on entry.
bool run_child(const std::function<int()> &child_body, int *status);

// For a child body: replaces the process with the command argv[0], found by
// PATH search (taken as a path when it has a slash), with argv as its
// arguments. If that fails, reports "vorlix: exec failed: <reason>" and
// returns the non-zero status the child should end with.
int exec_or_report(const char *const argv[]);

// Used by message_box(): in a child started by run_child, sends text to the
// parent and returns true. In the main process returns false.
bool forward_message_to_parent(const char *text);

#endif
