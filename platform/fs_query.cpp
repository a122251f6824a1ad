#include "platform/fs_query.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#ifdef __FreeBSD__

#include <sys/param.h>
#include <sys/mount.h>

int fs_query(const char *path, FsUsage *usage)
{
    struct statfs sfs;
    if (statfs(path, &sfs) != 0)
        return -1;
    usage->block_size = sfs.f_bsize;
    usage->blocks = sfs.f_blocks;
    usage->free_blocks = sfs.f_bfree;
    snprintf(usage->mounted_on, sizeof usage->mounted_on, "%s", sfs.f_mntonname);
    return 0;
}

#else // Linux: no mounted-on name in statfs; the mount table tells.

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <string>

namespace {

// Mount table fields escape space, tab, newline and backslash as \ooo.
std::string decode_octal_escapes(const char *s)
{
    std::string out;
    for (; *s != '\0'; ++s) {
        if (s[0] == '\\' && s[1] >= '0' && s[1] <= '7' && s[2] >= '0' && s[2] <= '7'
            && s[3] >= '0' && s[3] <= '7') {
            out += static_cast<char>((s[1] - '0') * 64 + (s[2] - '0') * 8 + (s[3] - '0'));
            s += 3;
        } else {
            out += *s;
        }
    }
    return out;
}

// True when dir is path itself or one of its ancestors.
bool is_dir_prefix(const std::string &dir, const std::string &path)
{
    if (dir == "/")
        return true;
    return path.compare(0, dir.size(), dir) == 0
           && (path.size() == dir.size() || path[dir.size()] == '/');
}

// The deepest mount point on dev that holds real_path. Falls back to the
// deepest mount point of any device holding it, for filesystems whose
// st_dev the mount table does not show.
bool find_mounted_on(dev_t dev, const std::string &real_path, std::string *out)
{
    FILE *f = fopen("/proc/self/mountinfo", "re");
    if (f == nullptr)
        return false;

    std::string best_on_dev, best_any;
    char *line = nullptr;
    size_t cap = 0;
    while (getline(&line, &cap, f) > 0) {
        unsigned major_no = 0, minor_no = 0;
        char mount_dir[4096];
        // id parent major:minor root mount-point ...
        if (sscanf(line, "%*d %*d %u:%u %*s %4095s", &major_no, &minor_no, mount_dir) != 3)
            continue;
        std::string dir = decode_octal_escapes(mount_dir);
        if (!is_dir_prefix(dir, real_path))
            continue;
        if (dir.size() >= best_any.size())
            best_any = dir;
        if (makedev(major_no, minor_no) == dev && dir.size() >= best_on_dev.size())
            best_on_dev = dir;
    }
    free(line);
    fclose(f);

    *out = !best_on_dev.empty() ? best_on_dev : best_any;
    return !out->empty();
}

} // namespace

int fs_query(const char *path, FsUsage *usage)
{
    struct statvfs vfs;
    struct stat st;
    if (statvfs(path, &vfs) != 0 || stat(path, &st) != 0)
        return -1;

    char real[PATH_MAX];
    if (realpath(path, real) == nullptr)
        return -1;

    std::string mounted_on;
    if (!find_mounted_on(st.st_dev, real, &mounted_on)) {
        errno = ENOENT;
        return -1;
    }

    // Counts are in fragments; f_bsize is only the preferred I/O size.
    usage->block_size = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    usage->blocks = vfs.f_blocks;
    usage->free_blocks = vfs.f_bfree;
    snprintf(usage->mounted_on, sizeof usage->mounted_on, "%s", mounted_on.c_str());
    return 0;
}

#endif
