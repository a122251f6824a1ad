// The agent benchmark's timer: mounts a tmpfs named <source>-<i> on
// <mnt>/<i>, takes the monotonic time as mount(2) returns, and waits
// (inotify, no polling) for the stamp that the fake vorlix writes as the
// agent starts it; prints the difference in milliseconds, one line a run.
// Then it unmounts and lets the agent see that before the next run.
// Linux, as root, inside a private mount namespace (run-watch-bench.sh).
#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

static long long now_ns()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

static bool read_stamp(const std::string &path, long long *ns)
{
    FILE *f = fopen(path.c_str(), "re");
    if (f == nullptr)
        return false;
    const bool ok = fscanf(f, "%lld", ns) == 1;
    fclose(f);
    return ok;
}

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: %s RUNS MNT STAMPS SOURCE\n", argv[0]);
        return 64;
    }
    const int runs = atoi(argv[1]);
    const std::string mnt = argv[2], stamps = argv[3], source = argv[4];
    const int in = inotify_init1(IN_CLOEXEC);
    if (in < 0 || inotify_add_watch(in, stamps.c_str(), IN_CLOSE_WRITE) < 0) {
        perror("inotify");
        return 1;
    }
    for (int i = 1; i <= runs; ++i) {
        const std::string dir = mnt + '/' + std::to_string(i);
        const std::string stamp = stamps + '/' + std::to_string(i);
        mkdir(dir.c_str(), 0755);
        const std::string name = source + '-' + std::to_string(i);
        if (mount(name.c_str(), dir.c_str(), "tmpfs", 0, "size=1m") != 0) {
            perror("mount");
            return 1;
        }
        const long long t0 = now_ns();
        long long t1 = 0;
        while (!read_stamp(stamp, &t1)) {
            pollfd p = {in, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) {
                fprintf(stderr, "run %d: no start within 10 s\n", i);
                return 1;
            }
            char events[4096];
            if (read(in, events, sizeof events) < 0 && errno != EAGAIN)
                return 1;
        }
        printf("%.3f\n", (t1 - t0) / 1e6);
        fflush(stdout);
        if (umount(dir.c_str()) != 0) {
            perror("umount");
            return 1;
        }
        usleep(50000);
    }
    return 0;
}
