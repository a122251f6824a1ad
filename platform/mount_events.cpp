#include "platform/mount_events.h"

#include "platform/target.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace {

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

MountEvents::~MountEvents()
{
    if (source >= 0)
        close(source);
}

int MountEvents::wait(int fd)
{
    return wait(fd, -1, -1);
}

#if VORLIX_ON_FREEBSD

#include <sys/types.h>
#include <sys/event.h>
#include <sys/param.h>
#include <sys/ucred.h>
#include <sys/mount.h>
#include <time.h>

bool MountEvents::open()
{
    source = kqueue();
    if (source < 0)
        return false;
    // EV_CLEAR: a burst of mounts wakes the watcher once, and it reads the
    // table once for all of them.
    struct kevent change;
    EV_SET(&change, 0, EVFILT_FS, EV_ADD | EV_CLEAR, 0, 0, nullptr);
    if (kevent(source, &change, 1, nullptr, 0, nullptr) < 0) {
        const int saved = errno;
        close(source);
        source = -1;
        errno = saved;
        return false;
    }
    return true;
}

int MountEvents::wait(int fd, int other, int timeout_ms)
{
    struct kevent change[2];
    int changes = 0;
    if (fd >= 0 && fd != watched_fd)
        EV_SET(&change[changes++], static_cast<uintptr_t>(fd), EVFILT_READ, EV_ADD, 0, 0, nullptr);
    // Registered at every wait: a descriptor closed leaves the queue, and
    // the next one opened may come back under the same number.
    if (other >= 0)
        EV_SET(&change[changes++], static_cast<uintptr_t>(other), EVFILT_READ, EV_ADD, 0, 0, nullptr);
    const long long until = timeout_ms >= 0 ? now_ms() + timeout_ms : 0;
    for (;;) {
        struct timespec left;
        if (timeout_ms >= 0) {
            const long long ms = std::max(until - now_ms(), 0LL);
            left.tv_sec = static_cast<time_t>(ms / 1000);
            left.tv_nsec = static_cast<long>(ms % 1000) * 1000000;
        }
        struct kevent events[8];
        const int n = kevent(source, change, changes, events, 8, timeout_ms >= 0 ? &left : nullptr);
        if (n < 0)
            return 0;
        if (fd >= 0)
            watched_fd = fd;
        changes = 0;
        if (n == 0 && timeout_ms >= 0)
            return timed_out;
        int wake = 0;
        for (int i = 0; i < n; ++i) {
            if (events[i].flags & EV_ERROR) {
                errno = static_cast<int>(events[i].data);
                return 0;
            }
            // The filter also tells of filesystems that stop answering or
            // run out of room: no reason to read the table.
            if (events[i].filter == EVFILT_FS && (events[i].fflags & (VQ_MOUNT | VQ_UNMOUNT)) != 0)
                wake |= mounts_changed;
            if (events[i].filter == EVFILT_READ && fd >= 0 && events[i].ident == static_cast<uintptr_t>(fd))
                wake |= fd_readable;
            if (events[i].filter == EVFILT_READ && other >= 0 && events[i].ident == static_cast<uintptr_t>(other))
                wake |= other_readable;
        }
        if (wake != 0)
            return wake;
    }
}

bool MountEvents::news_is_priority()
{
    return false;
}

bool MountEvents::take_news()
{
    const struct timespec now = {0, 0};
    bool changed = false;
    for (;;) {
        struct kevent events[8];
        const int n = kevent(source, nullptr, 0, events, 8, &now);
        if (n <= 0)
            return changed;
        for (int i = 0; i < n; ++i)
            if (events[i].filter == EVFILT_FS && (events[i].fflags & (VQ_MOUNT | VQ_UNMOUNT)) != 0)
                changed = true;
    }
}

#else // Linux

#include <fcntl.h>
#include <poll.h>

bool MountEvents::open()
{
    // The table of this process's own mount namespace: the one the user's
    // session and its automounter share.
    source = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    return source >= 0;
}

int MountEvents::wait(int fd, int other, int timeout_ms)
{
    const long long until = timeout_ms >= 0 ? now_ms() + timeout_ms : 0;
    for (;;) {
        // The table reports POLLPRI (with POLLERR) once per change since
        // this descriptor last reported one; it need not be read for that.
        // poll() passes over a descriptor of -1.
        pollfd fds[3] = {{source, POLLPRI, 0}, {fd, POLLIN, 0}, {other, POLLIN, 0}};
        const int limit = timeout_ms >= 0 ? static_cast<int>(std::max(until - now_ms(), 0LL)) : -1;
        const int n = poll(fds, 3, limit);
        if (n < 0)
            return 0;
        if (n == 0 && timeout_ms >= 0)
            return timed_out;
        if ((fds[0].revents | fds[1].revents | fds[2].revents) & POLLNVAL) {
            errno = EBADF;
            return 0;
        }
        int wake = 0;
        if (fds[0].revents & (POLLPRI | POLLERR))
            wake |= mounts_changed;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            wake |= fd_readable;
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR))
            wake |= other_readable;
        if (wake != 0)
            return wake;
    }
}

bool MountEvents::news_is_priority()
{
    return true;
}

bool MountEvents::take_news()
{
    // Changes made since the poll that saw the descriptor ready: one
    // reading of the table afterwards covers them too.
    pollfd fd = {source, POLLPRI, 0};
    while (poll(&fd, 1, 0) < 0 && errno == EINTR)
        ;
    return true;
}

#endif
