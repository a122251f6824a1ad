#include "platform/unmount_rights.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include "common/disk_names.h"

#include <sys/param.h>
#include <sys/ucred.h>
#include <sys/mount.h>
#include <sys/sysctl.h>

#include <string>

bool unmount_denied(const char *folder, uid_t uid)
{
    if (uid == 0)
        return false;
    int usermount = 0;
    size_t size = sizeof usermount;
    if (sysctlbyname("vfs.usermount", &usermount, &size, nullptr, 0) != 0)
        return false;
    struct statfs *table = nullptr;
    const int count = getmntinfo(&table, MNT_NOWAIT);
    const std::string dir = collapse_path(folder);
    // The last mounted on the folder is the one an unmount takes.
    for (int i = count - 1; i >= 0; --i)
        if (collapse_path(table[i].f_mntonname) == dir)
            return usermount == 0 || table[i].f_owner != uid;
    return false;
}

#else

bool unmount_denied(const char *, uid_t)
{
    return false;
}

#endif
