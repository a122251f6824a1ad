#include "system_needs.h"

#include "platform/fs_query.h"
#include "platform/mount_table.h"

#include <QFile>
#include <QStandardPaths>

#include <vector>

const char *lacks_mount_table()
{
    std::vector<MountEntry> mounts;
    if (list_mounts(&mounts))
        return nullptr;
    return "the mount table cannot be read (on Linux: /proc is not mounted)";
}

const char *lacks_linux_proc()
{
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly) && status.readAll().contains("\nSigIgn:")
        && QFile::exists("/proc/self/fd"))
        return nullptr;
    return "needs a Linux /proc (/proc/<pid>/status with SigIgn, /proc/<pid>/fd), which is not mounted here";
}

QByteArray program_on_path(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name)).toLocal8Bit();
}

QByteArray separate_mount_point(const QByteArray &near)
{
    FsUsage here;
    if (fs_query(near.constData(), &here) != 0)
        return QByteArray();
    for (const char *dir : {"/proc", "/dev"}) {
        FsUsage there;
        if (fs_query(dir, &there) == 0 && qstrcmp(there.mounted_on, dir) == 0
            && qstrcmp(there.mounted_on, here.mounted_on) != 0)
            return dir;
    }
    return QByteArray();
}
