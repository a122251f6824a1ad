#ifndef VORLIX_FREEBSD_WATCH_FAKES_H
#define VORLIX_FREEBSD_WATCH_FAKES_H

// Table-fed fakes of the FreeBSD calls the mount watcher makes beyond
// those of fakes.h: kqueue(2) and kevent(2), and open(2) and ioctl(2) of a
// disk's node in /dev, which only DIOCGATTR is asked of (disk(4)).

#include <sys/types.h>
#include <sys/event.h>

#include <deque>
#include <map>
#include <string>
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

// A disk's node in /dev, by path ("/dev/da4"); a path missing here does
// not exist (ENOENT).
struct DiskNode {
    int open_error = 0;     // errno for open() to fail with: EACCES where devfs refuses the user
    std::string attachment; // GEOM::attachment ("umass-sim0")
    int ioctl_error = 0;    // errno for DIOCGATTR to fail with: a kernel that keeps no attachment
};
extern std::map<std::string, DiskNode> nodes;
// Every node opened: its path, open()'s flags, and the descriptor given.
struct Opened {
    std::string path;
    int flags = 0;
    int fd = -1;
};
extern std::vector<Opened> opened;

} // namespace fake

#endif
