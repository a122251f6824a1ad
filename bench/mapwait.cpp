// vorlix-bench-mapwait: start a program and report how long it took to map
// its first top-level window, with no polling.
//
//   vorlix-bench-mapwait [--settle MS] [--timeout MS] [--keep] PROGRAM [ARG...]
//
// Before starting PROGRAM it subscribes to SubstructureNotify on the root
// window, so the X server sends a MapNotify the moment any top-level window
// is mapped. The clock starts just before fork() and stops when a MapNotify
// arrives for a window whose _NET_WM_PID is the child's pid, so windows of
// other clients never count and an untitled window is still found. After a
// further --settle milliseconds it reads the child's peak resident set size
// (VmHWM) and prints one line:
//
//   pid=1234 map_ms=87.512 hwm_kb=51234
//
// Then the child is terminated, unless --keep is given, in which case it is
// left running for the caller to measure and stop. Exit status 0 when a
// window was mapped, 1 when the child exited or the timeout passed first,
// 2 on a usage or X connection error.
#include <xcb/xcb.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return atom;
}

long windowPid(xcb_connection_t *c, xcb_window_t w, xcb_atom_t pidAtom)
{
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    long pid = -1;
    if (r && r->format == 32 && xcb_get_property_value_length(r) == 4)
        pid = *static_cast<uint32_t *>(xcb_get_property_value(r));
    std::free(r);
    return pid;
}

long peakRssKb(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid));
    FILE *f = std::fopen(path, "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
            break;
    std::fclose(f);
    return kb;
}

// Waits up to ms milliseconds for X events and hands each to handle(); stops
// early when handle() returns true. Returns true when it stopped early.
template <typename Handler>
bool pumpEvents(xcb_connection_t *c, double ms, Handler handle)
{
    const double end = nowMs() + ms;
    for (;;) {
        while (xcb_generic_event_t *ev = xcb_poll_for_event(c)) {
            const bool done = handle(ev);
            std::free(ev);
            if (done)
                return true;
        }
        if (xcb_connection_has_error(c))
            return false;
        const double left = end - nowMs();
        if (left <= 0)
            return false;
        // Wake at least every 20 ms to notice a child that has exited.
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, left < 20 ? static_cast<int>(left) + 1 : 20);
        if (handle(nullptr))
            return true;
    }
}

void stopChild(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

int usage()
{
    std::fprintf(stderr,
                 "usage: vorlix-bench-mapwait [--settle MS] [--timeout MS] [--keep] "
                 "PROGRAM [ARG...]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    double settleMs = 0, timeoutMs = 20000;
    bool keep = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (!std::strcmp(argv[i], "--keep"))
            keep = true;
        else if (!std::strcmp(argv[i], "--settle") && i + 1 < argc)
            settleMs = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--timeout") && i + 1 < argc)
            timeoutMs = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--")) {
            ++i;
            break;
        } else
            return usage();
    }
    if (i >= argc)
        return usage();

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "vorlix-bench-mapwait: cannot connect to the X display\n");
        return 2;
    }
    fcntl(xcb_get_file_descriptor(c), F_SETFD, FD_CLOEXEC);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t pidAtom = internAtom(c, "_NET_WM_PID"); // round trip: mask is active

    const double t0 = nowMs();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("vorlix-bench-mapwait: fork");
        return 2;
    }
    if (child == 0) {
        execvp(argv[i], argv + i);
        std::fprintf(stderr, "vorlix-bench-mapwait: %s: %s\n", argv[i], std::strerror(errno));
        _exit(127);
    }

    double mapped = -1;
    bool childGone = false;
    pumpEvents(c, timeoutMs, [&](xcb_generic_event_t *ev) {
        if (!ev) {
            int status;
            childGone = waitpid(child, &status, WNOHANG) == child;
            return childGone;
        }
        if ((ev->response_type & 0x7f) != XCB_MAP_NOTIFY)
            return false;
        const double t = nowMs();
        auto *map = reinterpret_cast<xcb_map_notify_event_t *>(ev);
        if (windowPid(c, map->window, pidAtom) != child)
            return false;
        mapped = t - t0;
        return true;
    });
    if (mapped < 0) {
        std::fprintf(stderr, "vorlix-bench-mapwait: %s\n",
                     childGone ? "the program exited before mapping a window"
                               : "no window mapped before the timeout");
        if (!childGone)
            stopChild(child);
        xcb_disconnect(c);
        return 1;
    }

    pumpEvents(c, settleMs, [](xcb_generic_event_t *) { return false; });
    std::printf("pid=%d map_ms=%.3f hwm_kb=%ld\n", static_cast<int>(child), mapped,
                peakRssKb(child));
    std::fflush(stdout);
    xcb_disconnect(c);
    if (!keep)
        stopChild(child);
    return 0;
}
