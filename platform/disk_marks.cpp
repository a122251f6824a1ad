#include "platform/disk_marks.h"

#include "platform/fs_probe.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::string &disk_mark_dir()
{
    static std::string dir = "/tmp/";
    return dir;
}

const char disk_mark_start[] = ".vorlix-writing-";

std::string disk_mark_name(const std::string &node)
{
    const size_t slash = node.rfind('/');
    std::string name = slash == std::string::npos ? node : node.substr(slash + 1);
    if (name.size() > 200)
        name.resize(200);
    return name;
}

namespace {

// "held" when the file is a mark someone holds (or cannot be tested),
// "free" otherwise.
bool held(const std::string &path)
{
    // Never through a link: anyone may plant one in /tmp.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno != ENOENT && errno != ELOOP; // gone, or no mark at all
    struct stat st;
    bool marked = false;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (flock(fd, LOCK_SH | LOCK_NB) == 0)
            flock(fd, LOCK_UN);
        else
            marked = true;
    }
    close(fd);
    return marked;
}

} // namespace

bool disk_marked(const std::string &disk)
{
    const std::string dir = disk_mark_dir();
    const std::string start = disk_mark_start + disk + ".";
    std::string answer;
    const bool asked = probe([&dir, &start] {
        DIR *d = opendir(dir.c_str());
        if (d == nullptr)
            return std::string("free");
        bool marked = false;
        while (const dirent *e = readdir(d))
            if (strncmp(e->d_name, start.c_str(), start.size()) == 0 && held(dir + e->d_name))
                marked = true;
        closedir(d);
        return std::string(marked ? "held" : "free");
    }, &answer);
    return !asked || answer != "free";
}
