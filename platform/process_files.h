#ifndef VORLIX_PROCESS_FILES_H
#define VORLIX_PROCESS_FILES_H

#include <sys/types.h>

#include <string>
#include <vector>

// What other programs hold open: to name what keeps a volume busy, and on
// FreeBSD to tell which device a FUSE daemon reads. Linux reads /proc;
// FreeBSD asks the kernel's records (kinfo_getallproc, kinfo_getfile and
// kern.proc.args), which name every file without asking its filesystem.

struct OpenFile {
    long pid = 0;
    std::string command;    // the program's name ("fuse2fs", "bash")
    std::string path;       // the file as the system names it, or ""
    bool working_dir = false; // its current or root folder, not an open file
    bool device = false;    // a device node (block or character)
    std::string device_name; // FreeBSD: its name under /dev ("da0s2", "fuse")
    dev_t rdev = 0;         // Linux: the device's number
};

// FreeBSD: a program as the system shows it to this user, for telling
// which device a FUSE daemon reads and whose daemon it is.
struct ProcessInfo {
    long pid = 0;
    uid_t uid = 0;  // the user it runs as
    uid_t ruid = 0; // the user who started it
    std::string command;
    bool args_known = false;
    std::vector<std::string> args; // its argument vector, as it has it now
    bool files_known = false;      // its open files are among the view's
};

// What this process may see of the others.
struct ProcessView {
    std::vector<OpenFile> files;
    std::vector<ProcessInfo> processes; // FreeBSD only
    // False when some programs, or the files of some, are not shown: those
    // of other users (FreeBSD shows their files to root alone), ones that
    // changed their user, and, where a setting below says so, every other
    // user's program, or every program's files. What is not shown may hold
    // anything.
    bool complete = true;
    // The settings of the system that hide them, as a user would set them
    // ("security.bsd.see_other_uids=0"); empty where none does.
    std::string hidden_by;
};

// Every file, device and working folder held by the processes this
// process may look into (its user's, or all as root), except its own.
// FreeBSD's kernel fills in its list of a process's open files by asking
// each file's filesystem, which may never answer: there the listing is put
// to fs_probe.h's probe(), and false with errno ETIMEDOUT means it was
// given up on. False with errno set, too, when the system's list of
// processes could not be read at all.
bool list_open_files(ProcessView *view);

#endif
