#include "actions/unmount.h"

#include "actions/qshell.h"
#include "actions/release_mounts.h"
#include "common/child_runner.h"
#include "common/format_text.h"
#include "common/message_box.h"
#include "common/texts.h"
#include "platform/disk_devices.h"

#include <errno.h>
#include <stdlib.h>

#include <string>

namespace {

const char mount_helper[] = "kelmo";

// Runs "kelmo umount <mount_point>". False when no helper run took place.
bool run_mount_helper(const char *mount_point, ChildStatus *status)
{
    const std::string dir = as_operand(mount_point);
    const char *const argv[] = {mount_helper, "umount", dir.c_str(), nullptr};
    return run_command(argv, status);
}

void report_unmount_failed(bool ran, const ChildStatus &status)
{
    char why[1025];
    describe_failed_run(why, sizeof why, ran, mount_helper, status);
    char msg[1025];
    format_text(msg, sizeof msg, tx(Text::unmount_failed), why);
    message_box(msg);
}

// What a release that stopped short means for the user; a helper that
// failed has said so itself.
void report_release_failure(Release result)
{
    if (result == Release::busy) {
        errno = EBUSY;
        report_unmount_failed(false, ChildStatus());
    } else if (result == Release::no_table) {
        report_unmount_failed(false, ChildStatus()); // errno says why
    }
}

} // namespace

int unmount_volume(const char *mount_point)
{
    ChildStatus status;
    const bool ran = run_mount_helper(mount_point, &status);
    if (ran && status.wait_status == 0)
        return 0;
    report_unmount_failed(ran, status);
    return 1;
}

int unmount_whole_disk(const char *mount_point, const DeviceSet &volume, const DeviceSet &disk)
{
    const UnmountDir helper = [](const std::string &dir) { return unmount_volume(dir.c_str()) == 0; };
    Release result = release_volume(mount_point, volume, helper);
    if (result == Release::done)
        result = release_disk(disk, helper);
    if (result == Release::done)
        return 0;
    report_release_failure(result);
    return 1;
}

void QShell::unmount()
{
    // Done only when the volume is gone: the window closes on it, and the
    // user takes that as leave to pull the stick.
    const Release result = release_volume(mount_point, volume_devices(device), [](const std::string &dir) {
        ChildStatus status;
        const bool ran = run_mount_helper(dir.c_str(), &status);
        if (!ran)
            report_unmount_failed(ran, status); // no helper ran: say why before the usual advice
        return ran && status.wait_status == 0;
    });
    if (result == Release::done)
        exit(0);
    if (result == Release::no_table)
        report_release_failure(result);

    char msg[1025];
    format_text(msg, sizeof msg, tx(Text::unmount_failed_for), mount_point);
    message_box(msg);
}
