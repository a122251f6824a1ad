/* kqueue(2) and kevent(2), written from FreeBSD's manual page, so that the
 * FreeBSD branch of the mount watcher builds on Linux for the tests. The
 * calls are renamed there (see tests/CMakeLists.txt) and faked. */
#ifndef VORLIX_SHIM_SYS_EVENT_H
#define VORLIX_SHIM_SYS_EVENT_H
#include <stdint.h>
#include <sys/types.h>
#include <time.h>
#ifdef __cplusplus
extern "C" {
#endif

#define EVFILT_READ (-1)
#define EVFILT_WRITE (-2)
#define EVFILT_VNODE (-4)
#define EVFILT_PROC (-5)
#define EVFILT_SIGNAL (-6)
#define EVFILT_TIMER (-7)
#define EVFILT_FS (-9)
#define EVFILT_USER (-11)

struct kevent {
    uintptr_t ident;
    short filter;
    unsigned short flags;
    unsigned int fflags;
    int64_t data;
    void *udata;
    uint64_t ext[4];
};

#define EV_SET(kevp_, a, b, c, d, e, f)                                                        \
    do {                                                                                       \
        struct kevent *kevp = (kevp_);                                                         \
        (kevp)->ident = (a);                                                                   \
        (kevp)->filter = (b);                                                                  \
        (kevp)->flags = (c);                                                                   \
        (kevp)->fflags = (d);                                                                  \
        (kevp)->data = (e);                                                                    \
        (kevp)->udata = (f);                                                                   \
        (kevp)->ext[0] = (kevp)->ext[1] = (kevp)->ext[2] = (kevp)->ext[3] = 0;                 \
    } while (0)

#define EV_ADD 0x0001
#define EV_DELETE 0x0002
#define EV_ENABLE 0x0004
#define EV_DISABLE 0x0008
#define EV_ONESHOT 0x0010
#define EV_CLEAR 0x0020
#define EV_ERROR 0x4000
#define EV_EOF 0x8000

int kqueue(void);
int kevent(int kq, const struct kevent *changelist, int nchanges, struct kevent *eventlist, int nevents,
           const struct timespec *timeout);

#ifdef __cplusplus
}
#endif
#endif
