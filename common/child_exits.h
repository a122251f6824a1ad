#ifndef VORLIX_CHILD_EXITS_H
#define VORLIX_CHILD_EXITS_H

#include <sys/types.h>

// Word of every child that ends, as a descriptor that becomes readable:
// a wait with a bound, or one the user may break off, is then a poll on
// it, in the main process and in the toolkit's event loop alike.

// At start, in the main process: the SIGCHLD handler that writes to it,
// whatever SIGCHLD was left as. False with errno set when it cannot be.
bool watch_child_exits();

// The descriptor to poll, or -1 where there is none (in a forked child,
// whose signal handlers are reset, or when no pipe could be made).
int child_exit_fd();

// Empties it, after it was found readable.
void drain_child_exits();

// A child that was killed but did not end at once (it may be stuck in a
// filesystem that has stopped answering) is left to end in its own time;
// it is reaped whenever a child has ended, and its outcome never read.
void abandon_child(pid_t pid);
void reap_abandoned_children();

#endif
