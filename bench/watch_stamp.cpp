// The vorlix that the agent's benchmark puts first on PATH: it notes the
// monotonic time at which it runs, in $BENCH_STAMPS/<name of the mount
// point>, and ends. The time includes its own loading, so what it gives
// is an upper bound of when the agent exec'd it.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char *dir = getenv("BENCH_STAMPS");
    if (argc != 4 || dir == nullptr)
        return 64;
    const char *slash = strrchr(argv[1], '/');
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", dir, slash != nullptr ? slash + 1 : argv[1]);
    char text[64];
    const int n = snprintf(text, sizeof text, "%lld\n",
                           static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, text, static_cast<size_t>(n)) != n)
        return 1;
    return close(fd) == 0 ? 0 : 1;
}
