#include "platform/mount_events.h"

#include "platform/target.h"

#include <errno.h>
#include <unistd.h>

MountEvents::~MountEvents()
{
    if (source >= 0)
        close(source);
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

int MountEvents::wait(int fd)
{
    struct kevent change;
    int changes = 0;
    if (fd >= 0 && fd != watched_fd) {
        EV_SET(&change, static_cast<uintptr_t>(fd), EVFILT_READ, EV_ADD, 0, 0, nullptr);
        changes = 1;
    }
    for (;;) {
        struct kevent events[8];
        const int n = kevent(source, &change, changes, events, 8, nullptr);
        if (n < 0)
            return 0;
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
            if (events[i].filter == EVFILT_READ && events[i].ident == static_cast<uintptr_t>(fd))
                wake |= fd_readable;
        }
        if (changes != 0) {
            watched_fd = fd;
            changes = 0;
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

int MountEvents::wait(int fd)
{
    for (;;) {
        // The table reports POLLPRI (with POLLERR) once per change since
        // this descriptor last reported one; it need not be read for that.
        pollfd fds[2] = {{source, POLLPRI, 0}, {fd, POLLIN, 0}};
        if (poll(fds, fd >= 0 ? 2 : 1, -1) < 0)
            return 0;
        if ((fds[0].revents | fds[1].revents) & POLLNVAL) {
            errno = EBADF;
            return 0;
        }
        int wake = 0;
        if (fds[0].revents & (POLLPRI | POLLERR))
            wake |= mounts_changed;
        if (fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            wake |= fd_readable;
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
