#include "jobs/terminal_job.h"

#include "actions/failure_reason.h"
#include "actions/release_mounts.h"
#include "actions/unmount.h"
#include "common/child_runner.h"
#include "common/disk_names.h"
#include "common/format_text.h"
#include "common/message_box.h"
#include "common/termination.h"
#include "common/texts.h"
#include "jobs/disk_mark.h"
#include "jobs/terminal_display.h"
#include "jobs/window_disk.h"
#include "platform/disk_devices.h"
#include "platform/fs_probe.h"

#include <errno.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

const char *const terminal_job_disk = "<disk>";

namespace {

// The tool's command line carries the marker's name, which every local user
// can read, and /tmp is everyone's. The marker therefore lives in a folder
// of our own that nobody else can enter, under a fixed name.
const char marker_dir_template[] = "/tmp/vorl.XXXXXXX";
const char marker_name[] = "success";

// Only a regular file the tool made counts, never a link to one elsewhere.
bool marker_made(const char *marker)
{
    struct stat st;
    return lstat(marker, &st) == 0 && S_ISREG(st.st_mode);
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    remove(path);
    return 0;
}

// The folder is ours alone: whatever the tool left in it goes with it.
// Links are removed, never followed.
void remove_marker_dir(const char *dir)
{
    note_marker(nullptr, nullptr);
    nftw(dir, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

// The path as the system resolves it, or as written where it cannot (or
// where its filesystem does not answer: silent is then set).
std::string resolved(const char *path, bool *silent)
{
    std::string real;
    if (probe_realpath(path, &real))
        return collapse_path(real.c_str());
    if (errno == ETIMEDOUT)
        *silent = true;
    return collapse_path(path);
}

// Whether the tool's input would vanish under it, or be overwritten as it
// is read: a file inside the volume's folder, on any filesystem of the
// disk or on one built on them, or one of the disk's devices itself.
Placement input_placement(const char *file, const char *mount_point, const DeviceSet &disk)
{
    // The volume's own folder may be the very filesystem that stopped
    // answering; the table names it without asking.
    const std::string folder = folder_as_table_names(mount_point);
    bool silent = false;
    const std::string path = resolved(file, &silent);
    Placement p;
    if (folder == "/" || path.compare(0, folder.size() + 1, folder + "/") == 0) {
        p.answer = Placement::on_it;
        return p;
    }
    if (silent) {
        p.answer = Placement::silent;
        p.where = file;
        return p;
    }
    return path_on_devices(file, disk);
}

void tell_formatted(Text text, const char *value)
{
    char msg[1025];
    format_text(msg, sizeof msg, tx(text), value);
    message_box(msg);
}

// A job that will not start, having written nothing: the window stays
// while the volume is still mounted, as it alone can unmount it; without
// it the program ends, as a job that ran does.
void end_unstarted_job(const char *mount_point, const DeviceSet &volume, const TerminalJob &job)
{
    message_box(job.failure_message);
    if (!still_mounted(mount_point, volume))
        exit(69);
}

} // namespace

void run_terminal_job(const char *mount_point, const char *device, const TerminalJob &job)
{
    if (terminal_display_missing())
        return;

    // All of this is asked before anything is unmounted, so that a job
    // that cannot run leaves the volume as it was.
    const DeviceSet disk = disk_devices(device);
    if (disk.node.empty()) {
        tell_formatted(Text::no_parent_device, device);
        return;
    }
    if (!disk.unwritable.empty()) {
        char msg[1025];
        format_text(msg, sizeof msg, tx(Text::unwritable_disk), device, disk.unwritable.c_str());
        message_box(msg);
        return;
    }
    // A stick swapped while the window waited: the disk under its name now
    // is none the user chose. Nothing is unmounted for it.
    if (!is_window_disk(disk)) {
        tell_formatted(Text::disk_changed, disk.node.c_str());
        end_unstarted_job(mount_point, volume_devices(device), job);
        return;
    }
    if (job.input_file != nullptr) {
        const Placement input = input_placement(job.input_file, mount_point, disk);
        if (input.answer == Placement::silent) {
            tell_not_responding(input.where.c_str());
            return;
        }
        if (input.answer == Placement::cannot_tell)
            tell_formatted(Text::fuse_device_unknown, input.where.c_str());
        if (input.answer != Placement::elsewhere) {
            tell_formatted(Text::input_on_target_disk, job.input_file);
            return;
        }
    }
    const DeviceSet volume = volume_devices(device);
    if (disk_held_beside(disk, volume)) {
        // Nothing is unmounted: the disk could not be freed anyway.
        char msg[1025];
        format_text(msg, sizeof msg, tx(Text::unmount_failed), strerror(EBUSY));
        message_box(msg);
        tell_what_holds(disk, nullptr);
        message_box(tx(Text::failed_to_unmount));
        return;
    }
    // From before the unmount, whose last close has the kernel taste the
    // disk again, until the program ends: no hook mounts the disk while the
    // tool writes it. Static, so that exit() removes it.
    static DiskMark mark;
    mark.hold(disk.node);

    // Unmounted here, where a helper that waits long can be stopped and
    // the window kept, so the tool never writes under a mounted
    // filesystem: the volume and every other filesystem of its disk.
    if (unmount_whole_disk(mount_point, volume, disk) != 0) {
        mark.release();
        message_box(tx(Text::failed_to_unmount));
        end_unstarted_job(mount_point, volume, job);
        return;
    }
    // The disk may have been pulled meanwhile, and another plugged in under
    // its name: it must still be the one the user chose.
    if (!is_window_disk(disk)) {
        mark.release();
        tell_formatted(Text::disk_changed, disk.node.c_str());
        end_unstarted_job(mount_point, volume, job);
        return;
    }

    // Made only now: a job that stopped before leaves no folder behind.
    static char dir[1025];
    snprintf(dir, sizeof dir, "%s", marker_dir_template);
    if (mkdtemp(dir) == nullptr) {
        message_box(tx(Text::no_marker_dir));
        exit(70);
    }
    static char marker[1025];
    snprintf(marker, sizeof marker, "%s/%s", dir, marker_name);
    note_marker(dir, marker);

    // Names reach the tool as given, except that none may pass for an option.
    std::vector<std::string> operands;
    for (const char *const *arg = job.tool_args; *arg != nullptr; ++arg)
        operands.push_back(as_operand(*arg == terminal_job_disk ? disk.node.c_str() : *arg));
    std::vector<const char *> argv = {"urxvt", "-e", job.tool, job.marker_option, marker};
    for (const std::string &operand : operands)
        argv.push_back(operand.c_str());
    argv.push_back(nullptr);

    // The run status says nothing: a terminal exits 0 whatever its command
    // did. Only the marker tells, and a fork that failed leaves none. The
    // terminal is waited for as long as it takes: the user is at work there.
    ChildStatus status;
    mark.kept_by_terminal();
    run_child([&argv] {
        mark.pass_on();
        execvp(argv[0], const_cast<char *const *>(argv.data()));
        message_box(tx(Text::terminal_exec_failed));
        return 1;
    }, &status);

    if (marker_made(marker)) {
        message_box(job.success_message);
        // Only now: the marker shows the job's result until the user has
        // seen it.
        remove_marker_dir(dir);
        exit(0);
    }
    remove_marker_dir(dir);
    message_box(job.failure_message);
    exit(69);
}
