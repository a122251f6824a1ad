#include "jobs/disk_mark.h"

#include "common/termination.h"
#include "platform/disk_marks.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

bool DiskMark::hold(const std::string &node)
{
    release();
    // The disk's own name, as the hook gets it from devd. A name of odd
    // bytes stays one file name; only its length is bounded.
    const std::string name = disk_mark_name(node);
    if (name.empty())
        return false;
    const std::string pattern = disk_mark_dir() + disk_mark_start + name + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int made = mkstemp(buf.data());
    if (made < 0)
        return false;
    // Locked first, readable by the hook's unprivileged test only then.
    if (fcntl(made, F_SETFD, FD_CLOEXEC) != 0 || flock(made, LOCK_EX | LOCK_NB) != 0
        || fchmod(made, 0644) != 0) {
        unlink(buf.data());
        close(made);
        return false;
    }
    fd = made;
    path = buf.data();
    note_disk_mark(path.c_str());
    return true;
}

void DiskMark::release()
{
    if (fd < 0)
        return;
    note_disk_mark(nullptr);
    // Removed while still locked: the hook finds either a held mark or none.
    unlink(path.c_str());
    close(fd);
    fd = -1;
    path.clear();
}

void DiskMark::pass_on() const
{
    if (fd >= 0)
        fcntl(fd, F_SETFD, 0);
}

void DiskMark::kept_by_terminal() const
{
    if (fd >= 0)
        note_disk_mark(nullptr);
}
