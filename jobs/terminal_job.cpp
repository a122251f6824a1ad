#include "jobs/terminal_job.h"

#include "actions/unmount.h"
#include "common/child_runner.h"
#include "common/message_box.h"
#include "common/parent_device.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

const char *const terminal_job_disk = "<disk>";

namespace {

enum { MAX_TOOL_ARGS = 8 };

// The job's child: unmount first, so the tool never writes under a mounted
// filesystem, then become the terminal. Its messages reach the user through
// the parent.
int job_child(const char *mount_point, const char *const argv[])
{
    if (unmount_volume(mount_point) != 0) {
        message_box("Failed to unmount.");
    } else {
        execvp(argv[0], const_cast<char *const *>(argv));
        message_box("exec failed.");
    }
    return 1;
}

} // namespace

void run_terminal_job(const char *mount_point, const char *device, const TerminalJob &job)
{
    char marker[1025];
    snprintf(marker, sizeof marker, "%s", "/tmp/vorl.XXXXXXX");
    if (mktemp(marker) == nullptr || marker[0] == '\0') {
        message_box("Error generating temp file name.");
        exit(70);
    }

    char *disk = parent_device(device);
    if (disk == nullptr) {
        char msg[1025];
        snprintf(msg, sizeof msg, "%s: Cannot determine parent device name", device);
        message_box(msg);
        return;
    }

    const char *argv[5 + MAX_TOOL_ARGS + 1] = {"urxvt", "-e", job.tool, job.marker_option, marker};
    size_t argc = 5;
    for (const char *const *arg = job.tool_args; *arg != nullptr && argc < 5 + MAX_TOOL_ARGS; ++arg)
        argv[argc++] = *arg == terminal_job_disk ? disk : *arg;
    argv[argc] = nullptr;

    // The run status says nothing: a terminal exits 0 whatever its command
    // did. Only the marker tells, and a fork that failed leaves none.
    int status = 0;
    run_child([mount_point, &argv] { return job_child(mount_point, argv); }, &status);
    free(disk);

    struct stat st;
    if (stat(marker, &st) == 0) {
        message_box(job.success_message);
        // Only now: the marker shows the job's result until the user has
        // seen it. A marker that cannot go stays behind; the job succeeded.
        unlink(marker);
        exit(0);
    }
    message_box(job.failure_message);
    exit(69);
}
