#include "actions/unmount.h"

#include "actions/failure_reason.h"
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

// Runs "kelmo umount <mount_point>". A helper stuck on a stick that
// stopped answering must not freeze the window for good: after a while
// the user is told what it waits on, and may stop it. False when no
// helper run took place.
bool run_mount_helper(const char *mount_point, ChildStatus *status)
{
    const std::string dir = as_operand(mount_point);
    const char *const argv[] = {mount_helper, "umount", dir.c_str(), nullptr};
    Patience patience;
    patience.command = mount_helper;
    patience.folder = mount_point;
    return run_command(argv, status, &patience);
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
    std::string last_dir;
    const UnmountDir helper = [&last_dir](const std::string &dir) {
        last_dir = dir;
        return unmount_volume(dir.c_str()) == 0;
    };
    Release result = release_volume(mount_point, volume, helper);
    const bool volume_freed = result == Release::done;
    if (volume_freed)
        result = release_disk(disk, helper);
    if (result == Release::done)
        return 0;
    report_release_failure(result);
    if (volume_freed)
        tell_what_holds(disk, last_dir.empty() ? nullptr : last_dir.c_str());
    else
        tell_what_holds(volume, last_dir.empty() ? mount_point : last_dir.c_str());
    return 1;
}

void QShell::unmount()
{
    // Done only when the volume is gone: the window closes on it, and the
    // user takes that as leave to pull the stick.
    const DeviceSet volume = volume_devices(device);
    std::string last_dir;
    const Release result = release_volume(mount_point, volume, [&last_dir](const std::string &dir) {
        last_dir = dir;
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
    tell_what_holds(volume, last_dir.empty() ? mount_point : last_dir.c_str());

    char msg[1025];
    format_text(msg, sizeof msg, tx(Text::unmount_failed_for), mount_point);
    message_box(msg);
}
