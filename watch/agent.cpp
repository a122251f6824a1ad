#include "watch/agent.h"

#include "common/inherited_state.h"
#include "platform/bounded_query.h"
#include "platform/fs_probe.h"
#include "platform/mount_events.h"
#include "platform/mount_table.h"
#include "watch/autofs_trigger.h"
#include "watch/device_rule.h"
#include "watch/launcher.h"
#include "watch/session_lock.h"
#include "watch/volume_watcher.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#ifndef VORLIX_VERSION
#define VORLIX_VERSION "unknown"
#endif

namespace {

// As long as vorlix waits for a filesystem's answer.
const int agent_query_ms = 10000;

const char usage[] = "usage: vorlix-watch [--help | --version]\n";

void say(const std::string &text)
{
    fprintf(stderr, "vorlix-watch: %s\n", text.c_str());
}

} // namespace

int run_agent(int argc, char **argv)
{
    // Descriptors 0 to 2, SIGCHLD and PATH as vorlix itself takes them over.
    take_over_inherited_state();
    // A session log that goes away must not end the agent at its next line.
    signal(SIGPIPE, SIG_IGN);

    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(usage, stdout);
        fputs("Starts vorlix for each removable volume that is mounted in this session.\n"
              "VORLIX_WATCH_DEVICES: an extended regular expression for more devices.\n",
              stdout);
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("vorlix-watch %s\n", VORLIX_VERSION);
        return 0;
    }
    if (argc != 1) {
        fputs(usage, stderr);
        return 64;
    }

    // Whatever folder the session started in stays free to be unmounted.
    if (chdir("/") != 0)
        say(std::string("cannot change to /: ") + strerror(errno));

    // No setlocale(): in the C locale the device expression compares bytes,
    // and a device name that is not UTF-8 still matches.
    DeviceRule rule;
    std::string problem;
    if (!rule.set_pattern(getenv("VORLIX_WATCH_DEVICES"), &problem)) {
        say("VORLIX_WATCH_DEVICES is not a valid extended regular expression: " + problem);
        return 78;
    }

    SessionLock lock;
    const char *runtime_dir = getenv("XDG_RUNTIME_DIR");
    const std::vector<std::string> displays =
        session_displays(getenv("WAYLAND_DISPLAY"), getenv("DISPLAY"), runtime_dir);
    switch (lock.take(runtime_dir, displays, &problem)) {
    case SessionLock::held:
        say(problem);
        return 75;
    case SessionLock::failed:
        say(problem);
        return 73;
    case SessionLock::taken:
        if (!problem.empty())
            say(problem);
        break;
    }

    MountEvents events;
    if (!events.open()) {
        say(std::string("cannot watch the mount table: ") + strerror(errno));
        return 69;
    }
    Launcher launcher;
    if (!launcher.install()) {
        say(std::string("cannot hear of ended children: ") + strerror(errno));
        return 71;
    }
    // Whatever the agent must ask a filesystem, or the kernel about files
    // that may lie on one, it asks in a child given up on after 10 s: one
    // stopped FUSE daemon must not keep every other stick from its window.
    set_probe_runner([](const std::function<std::string()> &question, std::string *answer) {
        return bounded_query(question, agent_query_ms, answer);
    });
    std::vector<MountEntry> table;
    if (!list_mounts(&table)) {
        say(std::string("cannot read the mount table: ") + strerror(errno));
        return 69;
    }
    VolumeWatcher watcher([&rule](const MountEntry &m) { return rule.admits(m); });
    watcher.begin(table);
    // FreeBSD's autofs -media map mounts a stick only once its folder is
    // entered: the agent enters it for each stick plugged in.
    AutofsTrigger autofs;
    autofs.limit_ms = agent_query_ms;
    autofs.report = say;
    autofs.table_read(table);
    lock.mark_ready();

    bool table_readable = true;
    for (;;) {
        const int wake = events.wait(launcher.ended_fd(), autofs.descriptor(), autofs.timeout_ms());
        if (wake == 0) {
            if (errno == EINTR)
                continue;
            say(std::string("cannot wait for mounts: ") + strerror(errno));
            return 69;
        }
        if (wake & MountEvents::fd_readable)
            launcher.reap();
        if (wake & (MountEvents::other_readable | MountEvents::timed_out))
            autofs.wake((wake & MountEvents::other_readable) != 0);
        if ((wake & MountEvents::mounts_changed) == 0)
            continue;
        // A table that cannot be read now is read again at the next change;
        // the last one read stands meanwhile.
        if (!list_mounts(&table)) {
            if (table_readable)
                say(std::string("cannot read the mount table: ") + strerror(errno));
            table_readable = false;
            continue;
        }
        table_readable = true;
        autofs.table_read(table);
        for (const VolumeStart &volume : watcher.update(table))
            if (launcher.start(volume) < 0)
                say("cannot start " + launcher.program + " for " + printable(volume.mount_point) + ": "
                    + strerror(errno));
    }
}
