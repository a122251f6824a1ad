#include "platform/mount_recheck.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include "platform/fs_probe.h"

#include <sys/param.h>
#include <sys/ucred.h>
#include <sys/mount.h>

#include <string.h>

#include <string>

namespace {

// How a mount shows in an answer: each field with a NUL after it.
std::string shown(const char *source, const char *dir, const char *type)
{
    std::string text;
    for (const char *part : {source, dir, type}) {
        text += part;
        text += '\0';
    }
    return text;
}

// Whether dir is the folder of an autofs mount of the table or lies under
// one. The table's folders are spelled as the kernel spells them.
bool under_autofs(const std::string &dir, const std::vector<MountEntry> &table)
{
    for (const MountEntry &m : table) {
        if (m.type != "autofs" || m.dir.empty())
            continue;
        const std::string top = m.dir.back() == '/' ? m.dir : m.dir + '/';
        if (dir == m.dir || dir.compare(0, top.size(), top) == 0)
            return true;
    }
    return false;
}

} // namespace

bool mount_still_there(const MountEntry &mount, const std::vector<MountEntry> &table)
{
    if (under_autofs(mount.dir, table))
        return false;
    const std::string dir = mount.dir;
    std::string answer;
    const bool answered = probe([&dir] {
        struct statfs sfs;
        if (statfs(dir.c_str(), &sfs) != 0)
            return std::string("-");
        return '+' + shown(sfs.f_mntfromname, sfs.f_mntonname, sfs.f_fstypename);
    }, &answer);
    if (!answered)
        return true;
    return answer == '+' + shown(mount.source.c_str(), mount.dir.c_str(), mount.type.c_str());
}

bool mounted_over_autofs(const std::string &dir)
{
    struct statfs sfs;
    return statfs(dir.c_str(), &sfs) == 0 && dir == sfs.f_mntonname && strcmp(sfs.f_fstypename, "autofs") != 0;
}

#else

bool mount_still_there(const MountEntry &, const std::vector<MountEntry> &)
{
    return false;
}

bool mounted_over_autofs(const std::string &dir)
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return false;
    // The newest mount on the folder is the one a lookup reaches.
    for (auto m = mounts.rbegin(); m != mounts.rend(); ++m)
        if (m->dir == dir)
            return m->type != "autofs";
    return false;
}

#endif
