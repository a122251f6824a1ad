#ifndef VORLIX_FREEBSD_WATCH_FAKES_H
#define VORLIX_FREEBSD_WATCH_FAKES_H

// Table-fed fakes of the FreeBSD calls the mount watcher makes beyond
// those of fakes.h: kqueue(2) and kevent(2).

#include <sys/types.h>
#include <sys/event.h>

#include <deque>
#include <vector>

namespace fake {

// errno for kqueue() to fail with; 0: it works.
extern int kqueue_error;
// Every change given to kevent(), in order.
extern std::vector<struct kevent> changes;
// What each call of kevent() returns, a batch a call; with none left it
// fails with EINTR, as a signal would make it, or with a zero timeout
// returns 0, as nothing is pending.
extern std::deque<std::vector<struct kevent>> batches;
// How many calls asked for events with a timeout other than zero: calls
// that would have slept.
extern int sleeping_calls;

} // namespace fake

#endif
