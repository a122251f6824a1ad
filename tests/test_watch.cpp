// The agent's decisions, in-process: which readings of the mount table
// give a window, which devices count, and the session's lock.
#include "platform/mount_events.h"
#include "platform/mount_root.h"
#include "platform/mount_table.h"
#include "platform/removable_disks.h"
#include "dev_block_node.h"
#include "sysfs_tree.h"
#include "watch/autofs_trigger.h"
#include "watch/device_rule.h"
#include "watch/session_lock.h"
#include "watch/volume_watcher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <locale.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
#include <unistd.h>

namespace {

// "id maj:min source dir type [options]", fields apart by blanks; "-" for
// an id or a device number the table does not give (FreeBSD).
MountEntry entry(const QByteArray &text)
{
    const QList<QByteArray> f = text.split(' ');
    MountEntry m;
    m.id = f[0] == "-" ? 0 : f[0].toInt();
    m.dev = 0;
    if (f[1] != "-") {
        const QList<QByteArray> mm = f[1].split(':');
        m.dev = makedev(mm[0].toUInt(), mm[1].toUInt());
    }
    m.source = f[2].toStdString();
    m.dir = f[3].toStdString();
    m.type = f[4].toStdString();
    if (f.size() > 5)
        m.options = f[5].toStdString();
    return m;
}

// A FUSE mount's options as the kernel writes them, for the user ME (this
// process's), OTHER (neither that nor root) or a number as it stands.
QByteArray fuse_options(QByteArray text)
{
    const uid_t other = geteuid() == 65534 ? 65533 : 65534;
    return text.replace("ME", QByteArray::number(geteuid())).replace("OTHER", QByteArray::number(other));
}

// Mounts apart by ";".
std::vector<MountEntry> table(const QByteArray &text)
{
    std::vector<MountEntry> out;
    for (const QByteArray &m : text.split(';'))
        if (!m.trimmed().isEmpty())
            out.push_back(entry(m.trimmed()));
    return out;
}

QString started(const std::vector<VolumeStart> &starts)
{
    QStringList out;
    for (const VolumeStart &s : starts)
        out << QString::fromStdString(s.mount_point + ' ' + s.device + ' ' + s.fs_type);
    return out.join(';');
}

// A session as an agent started in it sees it: its runtime folder
// (one of two, or none) and its displays.
struct Session {
    QByteArray runtime;
    QByteArray wayland;
    QByteArray x11;
    std::vector<std::string> displays() const
    {
        return ::session_displays(wayland.isEmpty() ? nullptr : wayland.constData(),
                                  x11.isEmpty() ? nullptr : x11.constData(),
                                  runtime.isEmpty() ? nullptr : runtime.constData());
    }
};

} // namespace

class TestWatch : public QObject
{
    Q_OBJECT

    SysfsTree sys;
    QByteArray block_node; // a real /dev node, mapped in the tree as a USB stick's partition

private slots:
    void initTestCase()
    {
        // As in the agent, which sets no locale: expressions compare bytes.
        setlocale(LC_ALL, "C");

        // A USB stick: usb1/1-1 is the device, 1-1:1.0 its interface.
        const QString usb = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/";
        sys.on_bus("pci0000:00/0000:00:14.0", "pci");
        sys.on_bus("pci0000:00/0000:00:14.0/usb1/1-1", "usb");
        sys.on_bus("pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0", "usb");
        sys.on_bus("pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0", "scsi");
        sys.disk(usb + "sdb", "8:16");
        sys.partition(usb + "sdb/sdb1", "8:17");
        sys.partition(usb + "sdb/sdb2", "8:18");
        sys.disk("virtual/block/dm-0", "254:0");
        sys.holder("virtual/block/dm-0", usb + "sdb/sdb2");
        // An internal SATA disk, with an encrypted partition.
        const QString sata = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/";
        sys.on_bus("pci0000:00/0000:00:17.0", "pci");
        sys.on_bus("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", "scsi");
        sys.disk(sata + "sda", "8:0");
        sys.partition(sata + "sda/sda1", "8:1");
        sys.partition(sata + "sda/sda2", "8:2");
        sys.disk("virtual/block/dm-1", "254:1");
        sys.holder("virtual/block/dm-1", sata + "sda/sda2");
        // A card reader wired inside, on SCSI over PCI, that says its
        // medium is removable.
        const QString reader = "pci0000:00/0000:00:1c.0/host7/target7:0:0/7:0:0:0/block/";
        sys.on_bus("pci0000:00/0000:00:1c.0/host7/target7:0:0/7:0:0:0", "scsi");
        sys.disk(reader + "sdc", "8:32", "1");
        sys.partition(reader + "sdc/sdc1", "8:33");
        // An SD card on an MMC controller: its card is a device on the mmc bus.
        const QString mmc = "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:aaaa/block/";
        sys.on_bus("pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:aaaa", "mmc");
        sys.disk(mmc + "mmcblk0", "179:0");
        sys.partition(mmc + "mmcblk0/mmcblk0p1", "179:1");
        // NVMe, and a loop device.
        sys.on_bus("pci0000:00/0000:00:1d.0", "pci");
        sys.disk("pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", "259:0");
        sys.partition("pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1/nvme0n1p1", "259:1");
        sys.disk("virtual/block/loop0", "7:0");

        dev_t number = 0;
        QList<dev_t> taken;
        for (const char *mm : {"8:0", "8:1", "8:2", "8:16", "8:17", "8:18", "8:32", "8:33", "179:0", "179:1",
                               "259:0", "259:1", "7:0", "254:0", "254:1"}) {
            const QList<QByteArray> parts = QByteArray(mm).split(':');
            taken << makedev(parts[0].toUInt(), parts[1].toUInt());
        }
        block_node = dev_block_node(taken, &number);
        if (!block_node.isEmpty())
            sys.partition(usb + "sdb/fuse-node", QByteArray::number(major(number)) + ':' + QByteArray::number(minor(number)));
    }

    // --- which readings of the table give a window ---------------------

    void volumes_that_get_a_window_data()
    {
        QTest::addColumn<QByteArray>("at_start");
        QTest::addColumn<QList<QByteArray>>("readings");
        QTest::addColumn<QStringList>("expected"); // the starts after each reading

        const QByteArray root = "20 8:1 /dev/sda1 / ext4";
        const QByteArray stick = "30 8:17 /dev/sdb1 /media/STICK vfat";
        QTest::newRow("a new mount: one start")
            << root << QList<QByteArray>{root + ';' + stick} << QStringList{"/media/STICK /dev/sdb1 vfat"};
        QTest::newRow("mounted at start: left alone, and its bind too")
            << root + ';' + stick
            << QList<QByteArray>{root + ';' + stick + ";31 8:17 /dev/sdb1 /mnt/b vfat"}
            << QStringList{""};
        QTest::newRow("a bind mount and a second mount of the device: none")
            << root
            << QList<QByteArray>{root + ';' + stick, root + ';' + stick + ";31 8:17 /dev/sdb1 /mnt/bound vfat",
                                 root + ';' + stick + ";31 8:17 /dev/sdb1 /mnt/bound vfat;32 8:17 /dev/sdb1 /mnt/again vfat"}
            << QStringList{"/media/STICK /dev/sdb1 vfat", "", ""};
        QTest::newRow("a remount keeps its id, a move too: none")
            << root
            << QList<QByteArray>{root + ';' + stick, root + ';' + stick, root + ";30 8:17 /dev/sdb1 /media/moved vfat"}
            << QStringList{"/media/STICK /dev/sdb1 vfat", "", ""};
        QTest::newRow("unmounted, then mounted again: a second start")
            << root << QList<QByteArray>{root + ';' + stick, root, root + ";33 8:17 /dev/sdb1 /media/STICK vfat"}
            << QStringList{"/media/STICK /dev/sdb1 vfat", "", "/media/STICK /dev/sdb1 vfat"};
        QTest::newRow("unmounted and mounted again between two readings: a second start")
            << root << QList<QByteArray>{root + ';' + stick, root + ";34 8:17 /dev/sdb1 /media/STICK vfat"}
            << QStringList{"/media/STICK /dev/sdb1 vfat", "/media/STICK /dev/sdb1 vfat"};
        QTest::newRow("mounted and bound before one reading: one start, on the first mount")
            << root << QList<QByteArray>{root + ';' + stick + ";31 8:17 /dev/sdb1 /mnt/b vfat"}
            << QStringList{"/media/STICK /dev/sdb1 vfat"};
        QTest::newRow("two sticks in one reading: two starts, in table order")
            << root << QList<QByteArray>{root + ";41 8:33 /dev/sdc1 /media/B exfat;40 8:17 /dev/sdb1 /media/A vfat"}
            << QStringList{"/media/B /dev/sdc1 exfat;/media/A /dev/sdb1 vfat"};
        QTest::newRow("not admitted: none")
            << root << QList<QByteArray>{root + ";50 0:45 tmpfs /tmp/t tmpfs"} << QStringList{""};
        QTest::newRow("an empty source or type: none")
            << root << QList<QByteArray>{root + ";53 0:46  /media/E tmpfs;54 8:33 /dev/sdc1 /media/T  rw"}
            << QStringList{""};
        QTest::newRow("an argument that would read as an option: none")
            << root
            << QList<QByteArray>{root + ";51 8:18 -/dev/sdb2 /media/X vfat;52 8:33 /dev/sdc1 /media/Y -vfat"}
            << QStringList{""};
        // The table gives no ids or device numbers (FreeBSD).
        const QByteArray bsd_root = "- - /dev/ada0p2 / ufs";
        const QByteArray bsd_stick = "- - /dev/da0s1 /media/da0s1 msdosfs";
        QTest::newRow("without ids: a new mount, its remount, a nullfs of it")
            << bsd_root
            << QList<QByteArray>{bsd_root + ';' + bsd_stick, bsd_root + ';' + bsd_stick,
                                 bsd_root + ';' + bsd_stick + ";- - /media/da0s1 /home/u/stick nullfs"}
            << QStringList{"/media/da0s1 /dev/da0s1 msdosfs", "", ""};
        QTest::newRow("without ids: a second mount of the device, then unmounted everywhere and again")
            << bsd_root
            << QList<QByteArray>{bsd_root + ';' + bsd_stick, bsd_root + ';' + bsd_stick + ";- - /dev/da0s1 /mnt msdosfs",
                                 bsd_root, bsd_root + ";- - /dev/da0s1 /mnt msdosfs"}
            << QStringList{"/media/da0s1 /dev/da0s1 msdosfs", "", "", "/mnt /dev/da0s1 msdosfs"};
    }

    void volumes_that_get_a_window()
    {
        QFETCH(QByteArray, at_start);
        QFETCH(QList<QByteArray>, readings);
        QFETCH(QStringList, expected);

        VolumeWatcher watcher([](const MountEntry &m) {
            return m.source.compare(0, 5, "/dev/") == 0 || m.source.compare(0, 6, "-/dev/") == 0;
        });
        watcher.begin(table(at_start));
        QStringList got;
        for (const QByteArray &r : readings)
            got << started(watcher.update(table(r)));
        QCOMPARE(got, expected);
    }

    // A table of 3000 mounts, read over and over, with one stick among them.
    void many_mounts()
    {
        std::vector<MountEntry> mounts;
        for (int i = 0; i < 3000; ++i)
            mounts.push_back(entry("1" + QByteArray::number(i) + " 0:" + QByteArray::number(100 + i)
                                   + " tmpfs /run/t" + QByteArray::number(i) + " tmpfs"));
        VolumeWatcher watcher([](const MountEntry &m) { return m.source == "/dev/sdb1"; });
        watcher.begin(mounts);
        QCOMPARE(started(watcher.update(mounts)), QString());
        mounts.push_back(entry("99999 8:17 /dev/sdb1 /media/S vfat"));
        QCOMPARE(started(watcher.update(mounts)), QString("/media/S /dev/sdb1 vfat"));
        QCOMPARE(started(watcher.update(mounts)), QString());
    }

    // The wait with a second descriptor and a time limit, on the mount
    // table of this process's namespace. Another test may mount something
    // meanwhile: that news is slept through here.
    void waits_for_another_descriptor_or_the_limit()
    {
        MountEvents events;
        QVERIFY(events.open());
        int fds[2];
        QVERIFY(pipe(fds) == 0);
        const auto wait = [&events](int other, int limit) {
            int wake;
            while ((wake = events.wait(-1, other, limit)) == MountEvents::mounts_changed) {
            }
            return wake & ~MountEvents::mounts_changed;
        };
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(wait(fds[0], 150), int(MountEvents::timed_out));
        QVERIFY(clock.elapsed() >= 140);
        QCOMPARE(wait(-1, 0), int(MountEvents::timed_out));
        QVERIFY(write(fds[1], "x", 1) == 1);
        QCOMPARE(wait(fds[0], -1), int(MountEvents::other_readable));
        close(fds[0]);
        close(fds[1]);
    }

    // Linux has no devd: even under a mount that reads as autofs's -media
    // map, nothing is connected and no retry keeps the agent awake.
    void no_devd_here()
    {
        MountEntry media = entry("1 0:40 - /media autofs");
        media.source = "map -media";
        AutofsTrigger trigger;
        trigger.table_read({media});
        QCOMPARE(trigger.descriptor(), -1);
        QCOMPARE(trigger.timeout_ms(), -1);
    }

    // --- reading the table (Linux's mountinfo) --------------------------

    void mountinfo_lines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("parsed"); // "id parent maj:min source|dir|type|options", "" none

        QTest::newRow("with optional fields")
            << QByteArray("36 35 8:17 / /media/S rw,nosuid shared:1 master:2 - vfat /dev/sdb1 rw,uid=1000")
            << "36 35 8:17 /dev/sdb1|/media/S|vfat|rw,uid=1000";
        QTest::newRow("without") << QByteArray("37 1 0:45 / /run/u rw - fuse.sshfs u@h:/srv rw,user_id=1000")
                                 << "37 1 0:45 u@h:/srv|/run/u|fuse.sshfs|rw,user_id=1000";
        QTest::newRow("escapes in names")
            << QByteArray("38 1 7:0 / /media/a\\040b\\012c rw - ext4 /dev/loop0 rw")
            << "38 1 7:0 /dev/loop0|/media/a b\nc|ext4|rw";
        // mount -t tmpfs "" /x: the empty source is a field all the same.
        QTest::newRow("an empty source") << QByteArray("39 1 0:46 / /x rw,relatime - tmpfs  rw")
                                         << "39 1 0:46 |/x|tmpfs|rw";
        QTest::newRow("an empty type") << QByteArray("40 1 0:47 / /y rw -  src rw") << "40 1 0:47 src|/y||rw";
        QTest::newRow("no super options") << QByteArray("41 1 0:48 / /z rw - tmpfs t")
                                          << "41 1 0:48 t|/z|tmpfs|";
        QTest::newRow("cut off before the source") << QByteArray("42 1 0:49 / /w rw - tmpfs") << "";
        QTest::newRow("no device number") << QByteArray("43 1 x / /v rw - tmpfs t rw") << "";
    }

    void mountinfo_lines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, parsed);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(line + '\n');
        file.flush();
        std::vector<MountEntry> mounts;
        QVERIFY(read_mountinfo(QFile::encodeName(file.fileName()).constData(), &mounts));
        QStringList got;
        for (const MountEntry &m : mounts)
            got << QString::fromStdString(std::to_string(m.id) + ' ' + std::to_string(m.parent) + ' '
                                          + std::to_string(major(m.dev)) + ':' + std::to_string(minor(m.dev)) + ' '
                                          + m.source + '|' + m.dir + '|' + m.type + '|' + m.options);
        QCOMPARE(got.join(';'), parsed);
    }

    // --- VORLIX_WATCH_DEVICES ---------------------------------------------

    void device_pattern_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("matched");

        QTest::newRow("the device itself") << QByteArray("/dev/loop[0-9]+") << QByteArray("/dev/loop3") << true;
        QTest::newRow("anchored at the end") << QByteArray("/dev/loop[0-9]+") << QByteArray("/dev/loop3p1") << false;
        QTest::newRow("anchored at the start") << QByteArray("/dev/loop[0-9]+") << QByteArray("/x/dev/loop3") << false;
        QTest::newRow("alternatives: the longest counts") << QByteArray("/dev/sd|/dev/sdc1") << QByteArray("/dev/sdc1") << true;
        QTest::newRow("alternatives: a part of the name is not the name")
            << QByteArray("/dev/sd|/dev/sdc") << QByteArray("/dev/sdc1") << false;
        QTest::newRow("an alternation as a whole")
            << QByteArray("(a)|(b)") << QByteArray("ab") << false;
        QTest::newRow("a blank and a newline in the name")
            << QByteArray("/tmp/sp ace.*") << QByteArray("/tmp/sp ace\nda0s1") << true;
        QTest::newRow("bytes that are not UTF-8") << QByteArray("/img/.*") << QByteArray("/img/\xff\xfe.img") << true;
        QTest::newRow("no pattern: nothing") << QByteArray() << QByteArray("/dev/loop0") << false;
    }

    void device_pattern()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, device);
        QFETCH(bool, matched);
        DeviceRule rule;
        std::string error;
        QVERIFY(rule.set_pattern(pattern.isNull() ? nullptr : pattern.constData(), &error));
        QCOMPARE(rule.pattern_matches(device.toStdString()), matched);
    }

    void invalid_pattern()
    {
        DeviceRule rule;
        std::string error;
        QVERIFY(!rule.set_pattern("/dev/(loop", &error));
        QVERIFY(!error.empty());
        QVERIFY(!rule.pattern_matches("/dev/(loop"));
    }

    // --- removable, as sysfs tells ----------------------------------------

    void removable_in_sysfs_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("removable");

        QTest::newRow("a USB stick's partition") << QByteArray("8:17") << true;
        QTest::newRow("the USB stick itself") << QByteArray("8:16") << true;
        QTest::newRow("dm-crypt on the USB stick") << QByteArray("254:0") << true;
        QTest::newRow("an internal reader's removable medium") << QByteArray("8:33") << true;
        QTest::newRow("an SD card on the MMC bus") << QByteArray("179:1") << true;
        QTest::newRow("an internal SATA partition") << QByteArray("8:1") << false;
        QTest::newRow("dm-crypt on the SATA disk") << QByteArray("254:1") << false;
        QTest::newRow("NVMe") << QByteArray("259:1") << false;
        QTest::newRow("a loop device") << QByteArray("7:0") << false;
        QTest::newRow("a number sysfs does not know") << QByteArray("8:99") << false;
    }

    void removable_in_sysfs()
    {
#ifndef __linux__
        QSKIP("sysfs is Linux's");
#endif
        QFETCH(QByteArray, device);
        QFETCH(bool, removable);
        const QList<QByteArray> mm = device.split(':');
        QCOMPARE(sysfs_device_removable(makedev(mm[0].toUInt(), mm[1].toUInt()), sys.root().toStdString()),
                 removable);
    }

    // Which device of a mount is asked about: its own number, else (FUSE,
    // btrfs) the block device node its source names in /dev, and nothing
    // else; and a FUSE filesystem only where its program is root's or this
    // user's, as the kernel records it (user_id=).
    void device_of_a_mount_data()
    {
        QTest::addColumn<QByteArray>("mount");
        QTest::addColumn<bool>("removable");

        QTest::newRow("the mount's own device") << QByteArray("30 8:17 /anything /media/S vfat") << true;
        QTest::newRow("internal") << QByteArray("30 8:1 /dev/sda1 /media/S ext4") << false;
        QTest::newRow("FUSE naming no node") << QByteArray("31 0:50 /tmp/x /media/F fuse.ext4 rw,user_id=0") << false;
        QTest::newRow("FUSE naming a node by a way out of /dev")
            << QByteArray("31 0:50 /dev/../NODE /media/F fuse rw,user_id=0") << false;
        QTest::newRow("root's FUSE naming a node on a USB disk")
            << QByteArray("31 0:50 NODE /media/F fuseblk rw,user_id=0,group_id=0") << true;
        QTest::newRow("this user's FUSE naming it")
            << QByteArray("31 0:50 NODE /media/F fuse.exfat rw,user_id=ME,group_id=0") << true;
        QTest::newRow("another user's FUSE naming it")
            << QByteArray("31 0:50 NODE /media/F fuse rw,user_id=OTHER,group_id=0,allow_other") << false;
        QTest::newRow("another user's FUSE with the partition's own number")
            << QByteArray("31 8:17 /dev/sdb1 /media/F fuseblk rw,user_id=OTHER") << false;
        QTest::newRow("FUSE that does not say whose it is") << QByteArray("31 0:50 NODE /media/F fuse rw") << false;
        QTest::newRow("FUSE whose user is no number")
            << QByteArray("31 0:50 NODE /media/F fuse rw,user_id=,group_id=0") << false;
        QTest::newRow("root's FUSE naming a link to the node in /dev/shm")
            << QByteArray("31 0:50 LINK /media/F fuse rw,user_id=0") << false;
        QTest::newRow("btrfs, with a number of its own, naming the node")
            << QByteArray("33 0:60 NODE /media/B btrfs rw") << true;
        QTest::newRow("tmpfs") << QByteArray("32 0:51 tmpfs /tmp tmpfs") << false;
    }

    void device_of_a_mount()
    {
#ifndef __linux__
        QSKIP("sysfs is Linux's");
#endif
        QFETCH(QByteArray, mount);
        QFETCH(bool, removable);
        mount = fuse_options(mount);
        QByteArray link;
        if (mount.contains("NODE") || mount.contains("LINK")) {
            if (block_node.isEmpty())
                QSKIP("no block device node in /dev to name");
            mount.replace("/dev/../NODE", "/dev/.." + block_node).replace("NODE", block_node);
        }
        struct RemoveLink {
            QByteArray path;
            ~RemoveLink()
            {
                if (!path.isEmpty())
                    unlink(path.constData());
            }
        } remove_link;
        if (mount.contains("LINK")) {
            // /dev/shm is anyone's to write in.
            link = "/dev/shm/vorlix-test-link." + QByteArray::number(getpid());
            if (symlink(block_node.constData(), link.constData()) != 0)
                QSKIP("cannot make a link in /dev/shm");
            remove_link.path = link;
            mount.replace("LINK", link);
        }
        QCOMPARE(mount_on_removable_disk(entry(mount), sys.root().toStdString()), removable);
    }

    // devtmpfs and a tmpfs both say "tmpfs" to statfs(2): a block node on a
    // tmpfs mounted over /dev (as a container may have it) is made by
    // whoever may write there, and names no device of the machine's.
    void a_node_on_another_filesystem_at_dev()
    {
#ifndef __linux__
        QSKIP("devtmpfs is Linux's");
#endif
        if (geteuid() != 0)
            QSKIP("a private mount namespace takes root");
        if (block_node.isEmpty())
            QSKIP("no block device node in /dev to name");
        struct stat node;
        QVERIFY(stat(block_node.constData(), &node) == 0);
        const MountEntry fuse = entry(fuse_options("31 0:50 " + block_node + " /media/F fuse rw,user_id=0"));
        const std::string root = sys.root().toStdString();
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            // 1: the real /dev does not count it; 2: the tmpfs one does;
            // 3: no private namespace here.
            if (!mount_on_removable_disk(fuse, root))
                _exit(1);
            if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || mount("tmpfs", "/dev", "tmpfs", 0, "mode=755") != 0
                || mknod(block_node.constData(), S_IFBLK | 0600, node.st_rdev) != 0)
                _exit(3);
            _exit(mount_on_removable_disk(fuse, root) ? 2 : 0);
        }
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 3)
            QSKIP("no private mount namespace could be made");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // A pattern matches a FUSE mount's source only where its program may
    // speak for a device: another user's may call itself anything.
    void pattern_and_fuse_data()
    {
        QTest::addColumn<QByteArray>("mount");
        QTest::addColumn<bool>("admitted");

        QTest::newRow("a kernel filesystem") << QByteArray("40 7:7 /dev/loop7 /media/L ext4 rw") << true;
        QTest::newRow("root's FUSE") << QByteArray("41 0:70 /dev/loop7 /media/L fuse rw,user_id=0,group_id=0")
                                     << true;
        QTest::newRow("this user's FUSE") << QByteArray("41 0:70 /dev/loop7 /media/L fuse.x rw,user_id=ME") << true;
        QTest::newRow("another user's FUSE, open to all")
            << QByteArray("41 0:70 /dev/loop7 /media/L fuse rw,user_id=OTHER,group_id=0,allow_other") << false;
        QTest::newRow("a FUSE mount's user given twice")
            << QByteArray("41 0:70 /dev/loop7 /media/L fuse rw,user_id=OTHER,user_id=0") << false;
    }

    void pattern_and_fuse()
    {
        QFETCH(QByteArray, mount);
        QFETCH(bool, admitted);
        DeviceRule rule;
        std::string error;
        QVERIFY(rule.set_pattern("/dev/loop7", &error));
        rule.sysfs_root = sys.root().toStdString();
        QCOMPARE(rule.admits(entry(fuse_options(mount))), admitted);
    }

    // --- the mount, not its path -------------------------------------------

    // What the child that becomes vorlix opens: the mount the table named,
    // where its folder still is that mount; otherwise nothing.
    void the_mount_itself_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("opened");

        QTest::newRow("the root of the mount") << "root" << true;
        QTest::newRow("a folder below it, with the mount's id") << "below" << false;
        QTest::newRow("the same folder, another mount's id") << "other id" << false;
        QTest::newRow("a link to the mount's folder") << "link" << false;
    }

    void the_mount_itself()
    {
#ifndef __linux__
        QSKIP("mount ids are Linux's");
#endif
        QFETCH(QString, what);
        QFETCH(bool, opened);
        // /proc stands for any mount: it lies on a folder of its own, and
        // has folders below its root.
        std::vector<MountEntry> mounts;
        QVERIFY(list_mounts(&mounts));
        MountEntry proc;
        for (size_t i = 0; i < mounts.size(); ++i)
            if (mounts[i].dir == "/proc" && on_top_of_folder(mounts, i))
                proc = mounts[i];
        if (proc.id == 0)
            QSKIP("no /proc mounted on a folder of its own");
        QTemporaryDir scratch;
        MountEntry asked = proc;
        if (what == "below") {
            asked.dir = "/proc/sys";
        } else if (what == "other id") {
            asked.id = proc.parent;
        } else if (what == "link") {
            asked.dir = QFile::encodeName(scratch.filePath("proc")).toStdString();
            QVERIFY(symlink("/proc", asked.dir.c_str()) == 0);
        }
        errno = 0;
        const int fd = open_mount_root(asked);
        if (fd >= 0)
            close(fd);
        QCOMPARE(fd >= 0, opened);
        if (!opened && what != "link")
            QCOMPARE(errno, ESTALE);
    }

    // --- one agent per session --------------------------------------------

    void session_displays_data()
    {
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("x11");
        QTest::addColumn<QByteArray>("runtime");
        QTest::addColumn<QString>("displays"); // apart by blanks

        QTest::newRow("X without a screen") << QByteArray() << QByteArray(":0") << QByteArray() << ":0";
        QTest::newRow("X screens are one display") << QByteArray() << QByteArray(":0.1") << QByteArray() << ":0";
        QTest::newRow("its socket by name") << QByteArray() << QByteArray("unix:0") << QByteArray() << ":0";
        QTest::newRow("its socket by name, a screen") << QByteArray() << QByteArray("unix:0.2") << QByteArray() << ":0";
        QTest::newRow("this machine over TCP")
            << QByteArray() << QByteArray("localhost:10.0") << QByteArray() << ":10";
        QTest::newRow("the number written with a nought") << QByteArray() << QByteArray(":010") << QByteArray() << ":10";
        QTest::newRow("another machine's") << QByteArray() << QByteArray("host:10.0") << QByteArray() << "host:10";
        QTest::newRow("not a screen number") << QByteArray() << QByteArray(":0.x") << QByteArray() << ":0.x";
        QTest::newRow("no folder names") << QByteArray() << QByteArray("..") << QByteArray() << "__";
        QTest::newRow("a Wayland socket's name, in the runtime folder")
            << QByteArray("wayland-0") << QByteArray() << QByteArray("/run/user/1000") << "_run_user_1000_wayland-0";
        QTest::newRow("the same socket by its path")
            << QByteArray("/run/user/1000/wayland-0") << QByteArray() << QByteArray() << "_run_user_1000_wayland-0";
        QTest::newRow("a Wayland name without a runtime folder")
            << QByteArray("wayland-0") << QByteArray() << QByteArray() << "wayland-0";
        QTest::newRow("both, X first") << QByteArray("wayland-1") << QByteArray(":0.0") << QByteArray("/run/u")
                                       << ":0 _run_u_wayland-1";
        QTest::newRow("an empty Wayland name") << QByteArray("") << QByteArray(":1") << QByteArray() << ":1";
        QTest::newRow("no display") << QByteArray() << QByteArray() << QByteArray() << "none";
        QTest::newRow("cut short") << QByteArray(200, 'w') << QByteArray() << QByteArray() << QString(64, 'w');
    }

    void session_displays()
    {
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, x11);
        QFETCH(QByteArray, runtime);
        QFETCH(QString, displays);
        const auto arg = [](const QByteArray &b) { return b.isNull() ? nullptr : b.constData(); };
        QStringList got;
        for (const std::string &d : ::session_displays(arg(wayland), arg(x11), arg(runtime)))
            got << QString::fromStdString(d);
        QCOMPARE(got.join(' '), displays);
    }

    // The lock from another process (a lock of the system's is the
    // process's own: taking it twice in one process always works).
    static SessionLock::Outcome take_elsewhere(const Session &session, const QByteArray &shared,
                                               std::string *message)
    {
        int out[2];
        if (pipe(out) != 0)
            return SessionLock::failed;
        const pid_t pid = fork();
        if (pid == 0) {
            SessionLock lock;
            lock.shared_parent = shared.toStdString();
            std::string text;
            const int outcome =
                lock.take(session.runtime.isEmpty() ? nullptr : session.runtime.constData(), session.displays(), &text);
            if (write(out[1], text.data(), text.size()) < 0) {
            }
            _exit(outcome);
        }
        close(out[1]);
        char buf[512];
        const ssize_t n = read(out[0], buf, sizeof buf);
        close(out[0]);
        *message = std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
        int status = 0;
        waitpid(pid, &status, 0);
        return static_cast<SessionLock::Outcome>(WEXITSTATUS(status));
    }

    // The first agent's lock, its file and what it says to the second.
    void one_agent_per_session()
    {
        QTemporaryDir runtime, shared;
        QVERIFY(QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                          | QFileDevice::ExeOwner));
        const QByteArray dir = QFile::encodeName(runtime.path());
        const QString own = shared.path() + "/vorlix-watch-" + QString::number(geteuid());
        std::string message;
        SessionLock lock;
        lock.shared_parent = QFile::encodeName(shared.path()).toStdString();
        QCOMPARE(lock.take(dir.constData(), {":7"}, &message), SessionLock::taken);
        QCOMPARE(QString::fromStdString(message), QString());
        QStringList files;
        for (const std::string &f : lock.files())
            files << QString::fromStdString(f);
        QCOMPARE(files, (QStringList{own + "/vorlix-watch-:7.lock", runtime.path() + "/vorlix-watch-:7.lock"}));
        QCOMPARE(QFileInfo(own).permissions() & 0x0077, QFileDevice::Permissions()); // none for group and others
        lock.mark_ready();
        QCOMPARE(take_elsewhere({dir, "", ":7"}, QFile::encodeName(shared.path()), &message), SessionLock::held);
        QVERIFY2(message.find("already watches for this user on display :7") != std::string::npos, message.c_str());
        QVERIFY2(message.find("pid " + std::to_string(getpid())) != std::string::npos, message.c_str());
        // Last: closing any descriptor of a file lets go of this process's
        // lock on it.
        for (const QString &f : files) {
            QFile file(f);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray::number(getpid()) + '\n');
        }
    }

    // One agent per user and display, however each was started: with or
    // without a runtime folder, with any spelling of the X display, with
    // Wayland's as well or alone.
    void agents_that_meet_data()
    {
        QTest::addColumn<QByteArray>("first");  // "runtime wayland x11", "-" for none; runtime A, B or -
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<int>("outcome");       // the second's

        const int held = SessionLock::held, taken = SessionLock::taken;
        QTest::newRow("the same") << QByteArray("A - :7") << QByteArray("A - :7") << held;
        QTest::newRow("a screen of it") << QByteArray("A - :7") << QByteArray("A - :7.0") << held;
        QTest::newRow("its socket's name") << QByteArray("A - :7") << QByteArray("A - unix:7") << held;
        QTest::newRow("over TCP") << QByteArray("A - :7") << QByteArray("A - localhost:7.0") << held;
        QTest::newRow("without a runtime folder") << QByteArray("A - :7") << QByteArray("- - :7") << held;
        QTest::newRow("with one, after one without") << QByteArray("- - :7") << QByteArray("A - :7") << held;
        QTest::newRow("with another runtime folder") << QByteArray("A - :7") << QByteArray("B - :7") << held;
        QTest::newRow("Wayland and X, then X") << QByteArray("A wayland-7 :7") << QByteArray("A - :7") << held;
        QTest::newRow("Wayland and X, then Wayland") << QByteArray("A wayland-7 :7") << QByteArray("A wayland-7 -")
                                                     << held;
        QTest::newRow("X, then Wayland and X") << QByteArray("A - :7") << QByteArray("A wayland-7 :7") << held;
        QTest::newRow("Wayland by name, then by path") << QByteArray("A wayland-7 -") << QByteArray("- A/wayland-7 -")
                                                       << held;
        QTest::newRow("another X display") << QByteArray("A - :7") << QByteArray("A - :8") << taken;
        QTest::newRow("another machine's") << QByteArray("A - :7") << QByteArray("A - host:7") << taken;
        QTest::newRow("another Wayland socket") << QByteArray("A wayland-7 -") << QByteArray("A wayland-8 -") << taken;
    }

    void agents_that_meet()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(int, outcome);

        QTemporaryDir a, b, shared;
        for (const QTemporaryDir *d : {&a, &b})
            QVERIFY(QFile::setPermissions(d->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                         | QFileDevice::ExeOwner));
        const auto session = [&](const QByteArray &text) {
            QList<QByteArray> f = text.split(' ');
            for (QByteArray &part : f) {
                if (part == "-")
                    part.clear();
                part.replace("A", QFile::encodeName(a.path())).replace("B", QFile::encodeName(b.path()));
            }
            return Session{f[0], f[1], f[2]};
        };
        SessionLock lock;
        lock.shared_parent = QFile::encodeName(shared.path()).toStdString();
        std::string message;
        const Session one = session(first);
        QCOMPARE(lock.take(one.runtime.isEmpty() ? nullptr : one.runtime.constData(), one.displays(), &message),
                 SessionLock::taken);
        QCOMPARE(int(take_elsewhere(session(second), QFile::encodeName(shared.path()), &message)), outcome);
    }

    // The folder of the user's own, beside the runtime folder or instead
    // of it; never one that another user made or may write to. Where it
    // will not do, the runtime folder alone holds the lock.
    void lock_folder_data()
    {
        QTest::addColumn<QString>("runtime");       // the runtime folder: "" none, "open" a 0777 one, "own" a 0700 one
        QTest::addColumn<QString>("fallback");      // what is in the own folder's place beforehand
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("said");

        QTest::newRow("no runtime folder: one of the user's own")
            << "" << "none" << int(SessionLock::taken) << "";
        QTest::newRow("a runtime folder others may write to is not used")
            << "open" << "none" << int(SessionLock::taken) << "not using XDG_RUNTIME_DIR";
        QTest::newRow("a relative runtime folder is not used") << "relative" << "none" << int(SessionLock::taken) << "";
        QTest::newRow("the own folder others may write to") << "" << "open" << int(SessionLock::failed) << "others may write to it";
        QTest::newRow("the own folder a symbolic link") << "" << "link" << int(SessionLock::failed) << "symbolic link";
        QTest::newRow("the own folder another user's") << "" << "nobody" << int(SessionLock::failed) << "another user";
        QTest::newRow("another user's, beside a runtime folder")
            << "own" << "nobody" << int(SessionLock::taken) << "another user";
    }

    void lock_folder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, fallback);
        QFETCH(int, outcome);
        QFETCH(QString, said);

        if (fallback == "nobody" && geteuid() != 0)
            QSKIP("making a folder another user's needs root");
        QTemporaryDir scratch, shared;
        const QByteArray own = QFile::encodeName(shared.path()) + "/vorlix-watch-" + QByteArray::number(geteuid());
        QByteArray runtime_dir;
        if (runtime == "open" || runtime == "own") {
            runtime_dir = QFile::encodeName(scratch.path()) + "/run";
            const mode_t mode = runtime == "open" ? 0777 : 0700;
            QVERIFY(mkdir(runtime_dir.constData(), mode) == 0 && chmod(runtime_dir.constData(), mode) == 0);
        } else if (runtime == "relative") {
            runtime_dir = "run/user";
        }
        if (fallback == "open") {
            QVERIFY(mkdir(own.constData(), 0777) == 0 && chmod(own.constData(), 0777) == 0);
        } else if (fallback == "link") {
            QVERIFY(symlink(QFile::encodeName(scratch.path()).constData(), own.constData()) == 0);
        } else if (fallback == "nobody") {
            QVERIFY(mkdir(own.constData(), 0700) == 0 && chown(own.constData(), 65534, 65534) == 0);
        }

        std::string message;
        SessionLock lock;
        lock.shared_parent = QFile::encodeName(shared.path()).toStdString();
        const SessionLock::Outcome got =
            lock.take(runtime_dir.isEmpty() ? nullptr : runtime_dir.constData(), {"test"}, &message);
        QCOMPARE(int(got), outcome);
        QVERIFY2(QString::fromStdString(message).contains(said), message.c_str());
        for (const std::string &file : lock.files())
            QVERIFY2(file.compare(0, own.size(), own.constData()) != 0 || fallback == "none", file.c_str());
    }
};

QTEST_GUILESS_MAIN(TestWatch)
#include "test_watch.moc"
