#ifndef VORLIX_MOUNT_EVENTS_H
#define VORLIX_MOUNT_EVENTS_H

// The system's own news that something was mounted or unmounted, so that a
// watcher sleeps until then instead of reading the table again and again:
// on Linux the mount table file, which poll(2) reports with POLLPRI after
// each change; on FreeBSD a kqueue(2) with an EVFILT_FS filter, which
// reports VQ_MOUNT and VQ_UNMOUNT. What changed is read from the table
// itself afterwards (mount_table.h).
class MountEvents
{
public:
    MountEvents() = default;
    ~MountEvents();
    MountEvents(const MountEvents &) = delete;
    MountEvents &operator=(const MountEvents &) = delete;

    // For a caller whose own event loop watches for the news instead of
    // sleeping in wait() (below): the descriptor, which turns readable
    // (FreeBSD: the kqueue) or, where news_is_priority(), reports POLLPRI
    // (Linux: the table, which always reads as readable). -1 before open().
    int descriptor() const { return source; }
    static bool news_is_priority();
    // Once the descriptor was seen ready: takes in what it holds, without
    // blocking, so that the same news does not make it ready again. True
    // when a filesystem was mounted or unmounted (on Linux being ready says
    // so, and the poll that saw it has taken it in already).
    bool take_news();

    // Starts listening: a change from now on wakes wait(). False with errno
    // set when the system gives no such news here.
    bool open();

    // What wait() saw; several may come at once.
    enum Wake { mounts_changed = 1, fd_readable = 2, other_readable = 4, timed_out = 8 };

    // Sleeps until a filesystem is mounted or unmounted, or until fd (one of
    // the caller's, such as the read end of a pipe a signal handler writes
    // to; -1 for none) can be read. Returns the Wake bits, or 0 with errno
    // set: EINTR when a signal came first.
    int wait(int fd);

    // The same, and also until other can be read, a descriptor that may
    // change from one wait to the next (a socket connected again; -1 for
    // none), or until timeout_ms have passed (-1: no limit), which returns
    // timed_out.
    int wait(int fd, int other, int timeout_ms);

private:
    int source = -1;     // Linux: the mount table; FreeBSD: the kqueue
    [[maybe_unused]] int watched_fd = -1; // FreeBSD: the caller's fd, once it is registered
};

#endif
