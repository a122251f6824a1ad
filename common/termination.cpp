#include "common/termination.h"

#include <signal.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t child_group = 0;
const char *volatile marker_dir = nullptr;
const char *volatile marker_file = nullptr;
const char *volatile disk_mark = nullptr;

const int signals[] = {SIGTERM, SIGINT, SIGHUP};

// Only calls that are safe in a signal handler.
void on_termination(int sig)
{
    const pid_t group = child_group;
    if (group > 0)
        kill(-group, SIGKILL);
    if (marker_file != nullptr)
        unlink(marker_file);
    if (marker_dir != nullptr)
        rmdir(marker_dir);
    if (disk_mark != nullptr)
        unlink(disk_mark);
    // Then end as the signal would have ended us.
    signal(sig, SIG_DFL);
    raise(sig);
}

} // namespace

void end_cleanly_on_termination()
{
    for (int sig : signals) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction sa = {};
        sa.sa_handler = on_termination;
        sigemptyset(&sa.sa_mask);
        for (int other : signals)
            sigaddset(&sa.sa_mask, other);
        sigaction(sig, &sa, nullptr);
    }
}

void note_child_group(pid_t group)
{
    child_group = group;
}

void note_marker(const char *dir, const char *marker)
{
    marker_file = marker;
    marker_dir = dir;
}

void note_disk_mark(const char *path)
{
    disk_mark = path;
}
