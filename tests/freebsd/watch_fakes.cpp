// Fakes of kqueue, kevent, and open and ioctl of a disk's node, fed from
// the tables of watch_fakes.h.
#include "freebsd/watch_fakes.h"

#include <sys/disk.h>

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <unistd.h>

namespace fake {

int kqueue_error = 0;
std::vector<struct kevent> changes;
std::deque<std::vector<struct kevent>> batches;
std::map<std::string, DiskNode> nodes;
std::vector<Opened> opened;
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

// The names the disk's reader calls them by (tests/CMakeLists.txt renames
// them there alone). Each node opened is a real descriptor of /dev/null,
// so that a test can see whether it was closed again.
extern "C" int vorlix_fake_open(const char *path, int flags, ...)
{
    const auto it = fake::nodes.find(path);
    if (it == fake::nodes.end() || it->second.open_error != 0) {
        errno = it == fake::nodes.end() ? ENOENT : it->second.open_error;
        return -1;
    }
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
        fake::opened.push_back({path, flags, fd});
    return fd;
}

// DIOCGATTR as GEOM answers it for a text attribute: the value cut to
// the length asked for fails with EFAULT rather than come back cut.
extern "C" int vorlix_fake_ioctl(int fd, unsigned long request, ...)
{
    const fake::DiskNode *node = nullptr;
    for (const fake::Opened &o : fake::opened)
        if (o.fd == fd)
            node = &fake::nodes.at(o.path);
    if (node == nullptr || request != DIOCGATTR) {
        errno = node == nullptr ? EBADF : ENOTTY;
        return -1;
    }
    va_list ap;
    va_start(ap, request);
    auto *arg = va_arg(ap, struct diocgattr_arg *);
    va_end(ap);
    if (arg->len < 0 || static_cast<size_t>(arg->len) > sizeof arg->value) {
        errno = EINVAL;
        return -1;
    }
    const int error = node->ioctl_error != 0 ? node->ioctl_error
                      : strcmp(arg->name, "GEOM::attachment") != 0 ? EOPNOTSUPP
                      : node->attachment.size() >= static_cast<size_t>(arg->len) ? EFAULT
                                                                                  : 0;
    if (error != 0) {
        errno = error;
        return -1;
    }
    memset(arg->value.str, 0, static_cast<size_t>(arg->len));
    memcpy(arg->value.str, node->attachment.c_str(), node->attachment.size() + 1);
    return 0;
}
