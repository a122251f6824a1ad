#include "actions/unmount.h"

#include "actions/qshell.h"
#include "common/child_runner.h"
#include "common/message_box.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Runs "kelmo umount <mount_point>". False when no helper run took place.
static bool run_mount_helper(const char *mount_point, int *status)
{
    const char *const argv[] = {"kelmo", "umount", mount_point, nullptr};
    return run_child([&argv] { return exec_or_report(argv); }, status);
}

// errno is the runner's: the fork's error when no helper ran, and otherwise
// whatever it was before the run, since a run status carries no errno.
static void report_unmount_failed()
{
    char msg[1025];
    snprintf(msg, sizeof msg, "vorlix: unmount failed: %s\n", strerror(errno));
    message_box(msg);
}

int unmount_volume(const char *mount_point)
{
    int status = 0;
    if (run_mount_helper(mount_point, &status) && status == 0)
        return 0;
    report_unmount_failed();
    return 1;
}

void QShell::unmount()
{
    int status = 0;
    if (!run_mount_helper(mount_point, &status))
        report_unmount_failed(); // no helper ran: say why before the usual advice
    else if (status == 0)
        exit(0);

    char msg[1025];
    snprintf(msg, sizeof msg,
             "Unmount failed for %s.\nWas the device improperly removed before unmounting?\n"
             "Run \"pkill vorlix\" to force termination.\n",
             mount_point);
    message_box(msg);
}
