#include "private_mounts.h"

#include "binary_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

static const QStringList system_dirs = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};

static QString system_tool(const QString &name)
{
    return QStandardPaths::findExecutable(name, system_dirs);
}

QString private_mounts_unavailable()
{
    if (geteuid() != 0)
        return "a private mount namespace takes root";
    for (const char *tool : {"unshare", "mount", "umount"})
        if (system_tool(tool).isEmpty())
            return QString("no %1 here").arg(tool);
    if (!QFileInfo::exists("/proc/self/mountinfo"))
        return "no /proc/self/mountinfo here";
    return QString();
}

QList<QByteArray> private_mounts_wrapper(const QByteArray &setup)
{
    const QByteArray script = "fakes=$PATH; PATH=/usr/sbin:/usr/bin:/sbin:/bin\nundo=:\ntrap 'eval \"$undo\"' EXIT\n"
                              + setup + "\nstatus=0\nPATH=$fakes \"$@\" || status=$?\n"
                                "[ -z \"${ENDED:-}\" ] || date +%s%N > \"$ENDED\"\n"
                                "awk -v m=\"$MNT\" '{ for (i = 7; $i != \"-\"; i++) ;"
                                " if (index($5, m) == 1) print $5, $(i + 2) }' /proc/self/mountinfo > \"$LEFT\"\n"
                                "exit $status";
    return {system_tool("unshare").toLocal8Bit(), "--mount", "--propagation", "private", "/bin/sh", "-ec", script, "sh"};
}

QByteArray stuck_link_planted()
{
    return "mount -t tmpfs -o mode=1777 vorlix-test-shm /dev/shm\n"
           "mkdir -p \"$STUCK\"\n"
           "mkfs.ext4 -q -F -O ^has_journal \"$STUCK.img\" 8M > /dev/null\n"
           "fuse2fs -f \"$STUCK.img\" \"$STUCK\" > /dev/null 2>&1 &\n"
           "stuck_daemon=$!\n"
           "undo='kill -CONT \"$stuck_daemon\" 2>/dev/null || :; umount -l \"$STUCK\" 2>/dev/null || :; '\"$undo\"\n"
           "tries=0\n"
           "until grep -q \" $STUCK \" /proc/self/mountinfo; do\n"
           "  tries=$((tries + 1)); [ $tries -lt 100 ] || exit 97; sleep 0.05\ndone\n"
           "kill -STOP \"$stuck_daemon\"\n"
           "setpriv --reuid=65534 --regid=65534 --clear-groups /bin/sh -c "
           "'exec 3> /dev/shm/f && rm /dev/shm/f && ln -s \"$1/x\" \"/dev/shm/f (deleted)\" && exec sleep 120' "
           "sh \"$STUCK\" &\n"
           "stuck_holder=$!\n"
           "undo='kill \"$stuck_holder\" 2>/dev/null || :; '\"$undo\"\n"
           "tries=0\n"
           "until [ -L \"/dev/shm/f (deleted)\" ]; do\n"
           "  tries=$((tries + 1)); [ $tries -lt 100 ] || exit 97; sleep 0.05\ndone\n";
}

static bool run(const QString &tool, const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    p.start(system_tool(tool), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out != nullptr)
        *out = p.readAllStandardOutput().trimmed();
    return true;
}

LoopDisk::LoopDisk(const QString &dir) : dir(QFileInfo(dir).absoluteFilePath())
{
    why_not = private_mounts_unavailable();
    if (!why_not.isEmpty())
        return;
    if (system_tool("losetup").isEmpty() || system_tool("mkfs.ext4").isEmpty()) {
        why_not = "no losetup or mkfs.ext4 here";
        return;
    }
    const QString image = dir + "/disk.img";
    QFile f(image);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(8 << 20)) {
        why_not = "cannot make the disk image file";
        return;
    }
    f.close();
    if (!run("mkfs.ext4", {"-q", "-F", image})) {
        why_not = "mkfs.ext4 failed";
        return;
    }
    if (!run("losetup", {"-f", "--show", image}, &node) || !node.startsWith("/dev/loop")) {
        node.clear();
        why_not = "no loop device could be attached";
    }
}

LoopDisk::~LoopDisk()
{
    if (node.isEmpty())
        return;
    // Another test may have taken the device while a case had it detached.
    QFile backing("/sys/block/" + QString::fromLocal8Bit(node.mid(5)) + "/loop/backing_file");
    if (backing.open(QIODevice::ReadOnly)
        && QString::fromLocal8Bit(backing.readAll().trimmed()).startsWith(QDir::cleanPath(dir) + '/'))
        run("losetup", {"-d", QString::fromLocal8Bit(node)});
}

void prepare_loop_disk_run(BinaryFixture *fx, const LoopDisk &disk, const QByteArray &setup)
{
    fx->env.insert("MNT", fx->path("mnt"));
    fx->env.insert("DEV", QString::fromLocal8Bit(disk.node));
    fx->env.insert("LEFT", fx->path("left"));
    fx->wrapper = private_mounts_wrapper("mkdir -p \"$MNT/vol\" \"$MNT/bound\" \"$MNT/other\"\n"
                                         "mount \"$DEV\" \"$MNT/vol\"\n" + setup);
}

QList<QByteArray> loop_disk_mounts_left(const BinaryFixture &fx, const LoopDisk &disk)
{
    const QByteArray mnt = fx.path("mnt").toLocal8Bit();
    QList<QByteArray> out;
    QFile left(fx.path("left"));
    if (!left.open(QIODevice::ReadOnly))
        return {"(no record of what was left)"};
    for (const QByteArray &line : left.readAll().split('\n'))
        if (!line.isEmpty())
            out.append(line.mid(mnt.size() + 1).replace(disk.node, "DEV").replace(mnt, "MNT"));
    return out;
}
