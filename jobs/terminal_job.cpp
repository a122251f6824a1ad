#include "jobs/terminal_job.h"

#include "actions/unmount.h"
#include "common/child_runner.h"
#include "common/disk_names.h"
#include "common/format_text.h"
#include "common/message_box.h"
#include "common/texts.h"
#include "jobs/terminal_display.h"
#include "platform/disk_devices.h"

#include <errno.h>
#include <ftw.h>
#include <limits.h>
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

// The job's child: unmount first, so the tool never writes under a mounted
// filesystem, then become the terminal. That covers the volume and every
// other filesystem still mounted from the same disk. Its messages reach the
// user through the parent.
int job_child(const char *mount_point, const DeviceSet &volume, const DeviceSet &disk,
              const char *const argv[])
{
    if (unmount_whole_disk(mount_point, volume, disk) != 0) {
        message_box(tx(Text::failed_to_unmount));
    } else {
        execvp(argv[0], const_cast<char *const *>(argv));
        message_box(tx(Text::terminal_exec_failed));
    }
    return 1;
}

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
    nftw(dir, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

// The path as the system resolves it, or as written where it cannot.
std::string resolved(const char *path)
{
    char real[PATH_MAX];
    return collapse_path(realpath(path, real) != nullptr ? real : path);
}

// True when the tool's input would vanish under it, or be overwritten as
// it is read: a file inside the volume's folder, on any filesystem of the
// disk, or one of the disk's devices itself.
bool on_target_disk(const char *file, const char *mount_point, const DeviceSet &disk)
{
    const std::string folder = resolved(mount_point);
    const std::string path = resolved(file);
    const bool inside = folder == "/" || path.compare(0, folder.size() + 1, folder + "/") == 0;
    return inside || path_on_devices(file, disk);
}

} // namespace

void run_terminal_job(const char *mount_point, const char *device, const TerminalJob &job)
{
    if (terminal_display_missing())
        return;
    char dir[1025];
    snprintf(dir, sizeof dir, "%s", marker_dir_template);
    if (mkdtemp(dir) == nullptr) {
        message_box(tx(Text::no_marker_dir));
        exit(70);
    }
    char marker[1025];
    snprintf(marker, sizeof marker, "%s/%s", dir, marker_name);

    // Asked of the system before the fork: the child only unmounts and execs.
    const DeviceSet disk = disk_devices(device);
    if (disk.node.empty()) {
        rmdir(dir);
        char msg[1025];
        format_text(msg, sizeof msg, tx(Text::no_parent_device), device);
        message_box(msg);
        return;
    }
    if (job.input_file != nullptr && on_target_disk(job.input_file, mount_point, disk)) {
        rmdir(dir);
        char msg[1025];
        format_text(msg, sizeof msg, tx(Text::input_on_target_disk), job.input_file);
        message_box(msg);
        return;
    }
    const DeviceSet volume = volume_devices(device);
    if (disk_held_beside(disk, volume)) {
        // Nothing is unmounted: the disk could not be freed anyway.
        rmdir(dir);
        char msg[1025];
        format_text(msg, sizeof msg, tx(Text::unmount_failed), strerror(EBUSY));
        message_box(msg);
        message_box(tx(Text::failed_to_unmount));
        return;
    }

    // Names reach the tool as given, except that none may pass for an option.
    std::vector<std::string> operands;
    for (const char *const *arg = job.tool_args; *arg != nullptr; ++arg)
        operands.push_back(as_operand(*arg == terminal_job_disk ? disk.node.c_str() : *arg));
    std::vector<const char *> argv = {"urxvt", "-e", job.tool, job.marker_option, marker};
    for (const std::string &operand : operands)
        argv.push_back(operand.c_str());
    argv.push_back(nullptr);

    // The run status says nothing: a terminal exits 0 whatever its command
    // did. Only the marker tells, and a fork that failed leaves none.
    ChildStatus status;
    run_child([mount_point, &volume, &disk, &argv] { return job_child(mount_point, volume, disk, argv.data()); },
              &status);

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
