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
// fails with EINTR, as a signal would make it.
extern std::deque<std::vector<struct kevent>> batches;
// The time limit of each call of kevent() that waited, in ms; -1 for none.
extern std::vector<long long> limits;

} // namespace fake

#endif
