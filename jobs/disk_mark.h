#ifndef VORLIX_DISK_MARK_H
#define VORLIX_DISK_MARK_H

#include <string>

// A disk that a job writes carries a mark, so that an automounter hook
// mounts nothing of it meanwhile: the kernel tastes a disk again when its
// last writer closes it (the unmount before the job, the tool's own writes),
// and a filesystem mounted then is corrupted by the tool, and corrupts what
// the tool checks.
//
// The mark is an exclusive flock(2) on "/tmp/.vorlix-writing-<disk>.XXXXXX",
// the disk's own name ("da0" for /dev/da0) and a suffix mkstemp(3) picks.
// Any local user may create files in /tmp first, so the job never takes a
// name another user could hold: mkstemp makes a new file, which is ours and
// which nobody else may remove, and never follows a link. The hook tests
// every such file of the disk with lockf -t 0, and only a file held locked
// is a mark. The file is locked before anyone may read it (it is made
// 0600, and opened to all for reading only once locked), so a mark is never
// seen unlocked. A lock goes with the last descriptor on it: however the
// job ends, even killed, the mark is free once nothing of it runs.
class DiskMark
{
public:
    DiskMark() = default;
    DiskMark(const DiskMark &) = delete;
    DiskMark &operator=(const DiskMark &) = delete;
    ~DiskMark() { release(); }

    // Marks the disk at node ("/dev/da0", or a disk image file). False when
    // /tmp takes no file; the job then goes on unmarked, as before.
    bool hold(const std::string &node);
    // Removes the file and gives up the lock; harmless when not held.
    void release();
    // In a child about to exec the tool's terminal: the terminal, and the
    // tool it runs, keep the mark with them, so that it stays while the tool
    // writes even when vorlix itself is killed. Touches only the child's
    // own descriptor flags.
    void pass_on() const;
    // In vorlix, before the terminal starts: vorlix ended by a signal no
    // longer removes the file. Ending the terminal's process group need not
    // end the tool (a terminal may run it in a session of its own), and the
    // mark must stay while the tool writes. An unlocked file left behind is
    // no mark.
    void kept_by_terminal() const;

    const std::string &file() const { return path; }

private:
    int fd = -1;
    std::string path;
};

#endif
