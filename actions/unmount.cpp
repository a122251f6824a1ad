#include "actions/unmount.h"

#include "actions/qshell.h"
#include "common/child_runner.h"
#include "common/disk_names.h"
#include "common/format_text.h"
#include "common/message_box.h"
#include "common/texts.h"
#include "platform/mount_table.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

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

size_t depth(const std::string &dir)
{
    return static_cast<size_t>(std::count(dir.begin(), dir.end(), '/'));
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

int unmount_rest_of_disk(const char *disk)
{
    // Each pass unmounts what lies on top; a filesystem of the disk that
    // another of its own covered comes up in the next pass.
    size_t left_before = SIZE_MAX;
    for (;;) {
        std::vector<MountEntry> mounts;
        if (!list_mounts(&mounts)) {
            // Without the table nobody can tell the disk is free to write.
            report_unmount_failed(false, ChildStatus());
            return 1;
        }
        size_t left = 0;
        std::vector<std::string> dirs;
        for (size_t i = 0; i < mounts.size(); ++i) {
            if (!names_disk_or_partition(mounts[i].source.c_str(), disk))
                continue;
            ++left;
            // The helper unmounts whatever was mounted there last. When that
            // is not the disk's, it is something the user never named.
            const bool on_top = std::none_of(mounts.begin() + static_cast<long>(i) + 1, mounts.end(),
                                             [&](const MountEntry &m) { return m.dir == mounts[i].dir; });
            if (on_top)
                dirs.push_back(mounts[i].dir);
        }
        if (left == 0)
            return 0;
        // No filesystem of the disk went since the last pass, although the
        // helper said so, or only ones covered by something else are left.
        if (left >= left_before || dirs.empty())
            break;
        left_before = left;
        // A filesystem mounted inside another must go first.
        std::stable_sort(dirs.begin(), dirs.end(),
                         [](const std::string &a, const std::string &b) { return depth(a) > depth(b); });
        for (const std::string &dir : dirs)
            if (unmount_volume(dir.c_str()) != 0)
                return 1;
    }
    // Something of the disk is still mounted: writing it now would corrupt
    // that filesystem.
    errno = EBUSY;
    report_unmount_failed(false, ChildStatus());
    return 1;
}

void QShell::unmount()
{
    ChildStatus status;
    const bool ran = run_mount_helper(mount_point, &status);
    if (!ran)
        report_unmount_failed(ran, status); // no helper ran: say why before the usual advice
    else if (status.wait_status == 0)
        exit(0);

    char msg[1025];
    format_text(msg, sizeof msg, tx(Text::unmount_failed_for), mount_point);
    message_box(msg);
}
