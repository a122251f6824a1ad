#ifndef VORLIX_TERMINAL_JOB_H
#define VORLIX_TERMINAL_JOB_H

// A tool that writes the whole disk, run in a terminal window. The tool
// proves success only by creating the marker file it is told about.
struct TerminalJob {
    const char *tool;          // e.g. "pernix"
    const char *marker_option; // e.g. "--success-file"
    // Arguments after the marker name, ending with a null pointer. An entry
    // equal to terminal_job_disk stands for the disk's name.
    const char *const *tool_args;
    const char *success_message;
    const char *failure_message;
    // A file the tool reads while it writes the disk (the image), or null.
    // One that lies on that very disk is refused before anything happens.
    const char *input_file;
};

// The placeholder for the disk name in TerminalJob::tool_args.
extern const char *const terminal_job_disk;

// Unmounts the volume and every other filesystem of its disk, runs
// "urxvt -e <tool> <marker option> <marker> <args...>" and ends the
// process: 0 when a regular file stands at the marker afterwards, 69 when
// not, 70 when no private folder for the marker can be made. Returns,
// after telling the user, when no job was started: no terminal can open
// (see terminal_display.h), no disk could be found for device, the disk is
// none vorlix may write, the input file lies on the disk, a program no
// unmount stops holds the disk, or the disk is no longer the one the
// window opened on (window_disk.h), or the unmount failed, while the
// volume is still mounted; once it is not, the last two end the process
// with 69 too.
void run_terminal_job(const char *mount_point, const char *device, const TerminalJob &job);

#endif
