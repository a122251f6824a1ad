// Fakes of kqueue and kevent, fed from the tables of watch_fakes.h.
#include "freebsd/watch_fakes.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

namespace fake {

int kqueue_error = 0;
std::vector<struct kevent> changes;
std::deque<std::vector<struct kevent>> batches;
std::vector<long long> limits;

} // namespace fake

// A real descriptor, so that closing it closes nothing of anyone else's.
extern "C" int kqueue(void)
{
    if (fake::kqueue_error != 0) {
        errno = fake::kqueue_error;
        return -1;
    }
    return open("/dev/null", O_RDONLY | O_CLOEXEC);
}

extern "C" int kevent(int, const struct kevent *changelist, int nchanges, struct kevent *eventlist, int nevents,
                      const struct timespec *timeout)
{
    for (int i = 0; i < nchanges; ++i)
        fake::changes.push_back(changelist[i]);
    if (nevents == 0)
        return 0;
    fake::limits.push_back(timeout != nullptr ? timeout->tv_sec * 1000LL + timeout->tv_nsec / 1000000 : -1);
    if (fake::batches.empty()) {
        errno = EINTR;
        return -1;
    }
    const std::vector<struct kevent> batch = fake::batches.front();
    fake::batches.pop_front();
    const int n = static_cast<int>(batch.size()) < nevents ? static_cast<int>(batch.size()) : nevents;
    for (int i = 0; i < n; ++i)
        eventlist[i] = batch[static_cast<size_t>(i)];
    return n;
}
