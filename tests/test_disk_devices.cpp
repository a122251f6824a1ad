#include "platform/disk_devices.h"
#include "platform/fs_probe.h"
#include "platform/mount_table.h"
#include "platform/sysfs_disks.h"
#include "dev_block_node.h"
#include "sysfs_tree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
#include <unistd.h>

#include <algorithm>

static dev_t number(const QByteArray &maj_min)
{
    const QList<QByteArray> parts = maj_min.split(':');
    return makedev(parts.value(0).toUInt(), parts.value(1).toUInt());
}

static QStringList numbers(const std::vector<dev_t> &devs)
{
    QStringList out;
    for (dev_t d : devs)
        out << QString("%1:%2").arg(major(d)).arg(minor(d));
    out.sort();
    return out;
}

// How many questions what does puts to fs_probe.h's runner, which vorlix
// hands to a child it can give up on; each is answered as asked.
static int questions_put(const std::function<void()> &what)
{
    int asked = 0;
    const auto directly = [](const std::function<std::string()> &question, std::string *answer) {
        *answer = question();
        return true;
    };
    set_probe_runner([&](const std::function<std::string()> &question, std::string *answer) {
        ++asked;
        return directly(question, answer);
    });
    what();
    set_probe_runner(directly);
    return asked;
}

class TestDiskDevices : public QObject
{
    Q_OBJECT

    SysfsTree sys;

private slots:
    void initTestCase()
    {
        const QString pci = "pci0000:00/0000:00:1f.2/host0/target0:0:0/0:0:0:0/block/";
        sys.disk(pci + "sda", "8:0");
        sys.partition(pci + "sda/sda1", "8:1");
        sys.disk("pci0000:00/usb1/host6/block/sdb", "8:16");
        sys.partition("pci0000:00/usb1/host6/block/sdb/sdb1", "8:17");
        sys.partition("pci0000:00/usb1/host6/block/sdb/sdb2", "8:18");
        sys.disk("virtual/block/dm-0", "254:0");
        sys.holder("virtual/block/dm-0", "pci0000:00/usb1/host6/block/sdb/sdb2");
        // sdap and sdas: the 42nd and 45th SCSI disks, not parts of sda.
        sys.disk("pci0000:00/host9/block/sdap", "66:240");
        sys.partition("pci0000:00/host9/block/sdap/sdap1", "66:241");
        sys.disk("pci0000:00/host9/block/sdas", "67:0");
        sys.partition("pci0000:00/host9/block/sdas/sdas2", "67:2");
        sys.disk("pci0000:00/nvme/nvme0/nvme0n1", "259:0");
        sys.partition("pci0000:00/nvme/nvme0/nvme0n1/nvme0n1p1", "259:1");
        sys.partition("pci0000:00/nvme/nvme0/nvme0n1/nvme0n1p2", "259:2");
        sys.disk("pci0000:00/mmc0/mmc0:0001/block/mmcblk0", "179:0");
        sys.partition("pci0000:00/mmc0/mmc0:0001/block/mmcblk0/mmcblk0p1", "179:1");
        sys.disk("virtual/block/loop0", "7:0");
        // md0, a RAID over a partition of each of two sticks, partitioned.
        sys.disk("pci0000:00/usb2/host7/block/sdc", "8:32");
        sys.partition("pci0000:00/usb2/host7/block/sdc/sdc1", "8:33");
        sys.disk("pci0000:00/usb2/host8/block/sdd", "8:48");
        sys.partition("pci0000:00/usb2/host8/block/sdd/sdd1", "8:49");
        sys.disk("virtual/block/md0", "9:0");
        sys.partition("virtual/block/md0/md0p1", "259:8");
        sys.holder("virtual/block/md0", "pci0000:00/usb2/host7/block/sdc/sdc1");
        sys.holder("virtual/block/md0", "pci0000:00/usb2/host8/block/sdd/sdd1");
    }

    // A device built on several disks is no disk to write whole: writing
    // one of them would break it. Its own name stands for the disk, and
    // says so; a device built on one (dm-crypt) leads down to its disk.
    void a_device_over_several_disks_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QString>("disk");
        QTest::addColumn<QString>("unwritable");

        QTest::newRow("a partition of a RAID") << QByteArray("259:8") << "md0" << "md0";
        QTest::newRow("the RAID itself") << QByteArray("9:0") << "md0" << "md0";
        QTest::newRow("dm-crypt on one partition") << QByteArray("254:0") << "sdb" << "";
        QTest::newRow("a plain stick") << QByteArray("8:17") << "sdb" << "";
    }

    void a_device_over_several_disks()
    {
        QFETCH(QByteArray, device);
        QFETCH(QString, disk);
        QFETCH(QString, unwritable);
#ifndef __linux__
        QSKIP("sysfs is Linux's");
#endif

        SysfsDisk found;
        QVERIFY(sysfs_disk_of(number(device), sys.root().toStdString(), &found));
        QCOMPARE(QString::fromStdString(found.name), disk);
        QCOMPARE(QString::fromStdString(found.unwritable), unwritable);
    }

    // The whole disk of a device, and everything on it, as sysfs tells.
    void disk_of_a_device_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QString>("disk"); // empty: unknown
        QTest::addColumn<QStringList>("members");

        const QStringList sdb = {"254:0", "8:16", "8:17", "8:18"};
        QTest::newRow("sdb1 is on sdb") << QByteArray("8:17") << "sdb" << sdb;
        QTest::newRow("sdb is its own disk") << QByteArray("8:16") << "sdb" << sdb;
        QTest::newRow("dm-crypt on sdb2 is on sdb") << QByteArray("254:0") << "sdb" << sdb;
        QTest::newRow("nvme0n1p1 is on nvme0n1, not nvme0")
            << QByteArray("259:1") << "nvme0n1" << QStringList{"259:0", "259:1", "259:2"};
        QTest::newRow("mmcblk0p1") << QByteArray("179:1") << "mmcblk0" << QStringList{"179:0", "179:1"};
        QTest::newRow("sda holds neither sdap1 nor sdas2") << QByteArray("8:1") << "sda" << QStringList{"8:0", "8:1"};
        QTest::newRow("sdap1 is on sdap") << QByteArray("66:241") << "sdap" << QStringList{"66:240", "66:241"};
        QTest::newRow("sdas2 is on sdas") << QByteArray("67:2") << "sdas" << QStringList{"67:0", "67:2"};
        QTest::newRow("a loop device is a disk") << QByteArray("7:0") << "loop0" << QStringList{"7:0"};
        QTest::newRow("a number sysfs does not know") << QByteArray("8:99") << QString() << QStringList{};
    }

    void disk_of_a_device()
    {
        QFETCH(QByteArray, device);
        QFETCH(QString, disk);
        QFETCH(QStringList, members);
#ifndef __linux__
        QSKIP("sysfs is Linux's");
#endif

        SysfsDisk found;
        const bool known = sysfs_disk_of(number(device), sys.root().toStdString(), &found);
        QCOMPARE(known, !disk.isEmpty());
        if (known) {
            QCOMPARE(QString::fromStdString(found.name), disk);
            QCOMPARE(numbers(found.members), members);
        }
    }

    // What tells a disk from the next one the kernel gives its number: a
    // loop device attached to another image of the same size, a stick
    // without a serial number of its disk swapped for another.
    void identity_of_a_disk_data()
    {
        QTest::addColumn<QByteArray>("before"); // the disk's attributes; usb:NAME its USB device's
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("same");

        QTest::newRow("the same disk") << QByteArray("size=16384 diskseq=7 serial=S1 usb:serial=U1")
                                       << QByteArray("size=16384 diskseq=7 serial=S1 usb:serial=U1") << true;
        QTest::newRow("attached again, to another image")
            << QByteArray("size=16384 diskseq=7") << QByteArray("size=16384 diskseq=9") << false;
        QTest::newRow("another stick, told by its USB device's serial")
            << QByteArray("size=16384 usb:serial=U1") << QByteArray("size=16384 usb:serial=U2") << false;
        QTest::newRow("another size") << QByteArray("size=16384") << QByteArray("size=32768") << false;
        QTest::newRow("another serial of its disk")
            << QByteArray("size=16384 serial=S1") << QByteArray("size=16384 serial=S2") << false;
        // Where the system tells nothing more, as before.
        QTest::newRow("no diskseq, no serial") << QByteArray("size=16384") << QByteArray("size=16384") << true;
    }

    void identity_of_a_disk()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(bool, same);

        const QString usb = "pci0000:00/0000:00:14.0/usb1/1-2";
        const QString disk = usb + "/1-2:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
        std::string ids[2];
        for (int i = 0; i < 2; ++i) {
            SysfsTree tree;
            // The root hub has a serial number too: not the stick's.
            tree.attribute("pci0000:00/0000:00:14.0/usb1", "idVendor", "1d6b");
            tree.attribute("pci0000:00/0000:00:14.0/usb1", "serial", "0000:00:14.0");
            tree.attribute(usb, "idVendor", "0781");
            tree.disk(disk, "8:16");
            for (const QByteArray &a : (i == 0 ? before : after).split(' ')) {
                const int eq = a.indexOf('=');
                const QByteArray name = a.left(eq), value = a.mid(eq + 1);
                if (name.startsWith("usb:"))
                    tree.attribute(usb, name.mid(4), value);
                else
                    tree.attribute(disk, name, value);
            }
            ids[i] = sysfs_disk_identity(number("8:16"), tree.root().toStdString());
            QVERIFY(!ids[i].empty());
        }
        QVERIFY2((ids[0] == ids[1]) == same, (ids[0] + " / " + ids[1]).c_str());
    }

    // Which mounted filesystems come from a set known by device number: by
    // the number the table gives, or, for a filesystem with a number of its
    // own (FUSE, btrfs), by the block device node its source names in /dev.
    // Another user's FUSE program may name any device, and is never the
    // set's, so never unmounted with it.
    void mounts_by_device_number_data()
    {
        QTest::addColumn<QByteArray>("source");  // NODE: a block node right in /dev, a member of the set
        QTest::addColumn<QByteArray>("maj_min"); // as the mount table gives it
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("options"); // ME: this user's id, OTHER: another's
        QTest::addColumn<bool>("member");

        QTest::newRow("block-backed, any name") << QByteArray("/dev/whatever") << QByteArray("8:17")
                                                << QByteArray("ext4") << QByteArray("rw") << true;
        QTest::newRow("block-backed, another disk") << QByteArray("/dev/sdb1") << QByteArray("8:33")
                                                    << QByteArray("ext4") << QByteArray("rw") << false;
        QTest::newRow("root's FUSE with the partition as source")
            << QByteArray("NODE") << QByteArray("0:52") << QByteArray("fuseblk") << QByteArray("rw,user_id=0")
            << true;
        QTest::newRow("this user's FUSE, source spelled oddly")
            << QByteArray("//NODE") << QByteArray("0:52") << QByteArray("fuse.ntfs-3g") << QByteArray("rw,user_id=ME")
            << true;
        QTest::newRow("another user's FUSE with the partition as source")
            << QByteArray("NODE") << QByteArray("0:52") << QByteArray("fuse") << QByteArray("rw,user_id=OTHER,allow_other")
            << false;
        QTest::newRow("another user's FUSE with the partition's own number")
            << QByteArray("NODE") << QByteArray("8:17") << QByteArray("fuseblk") << QByteArray("rw,user_id=OTHER")
            << false;
        QTest::newRow("FUSE with another source") << QByteArray("/nonexistent/sdb1") << QByteArray("0:52")
                                                  << QByteArray("fuseblk") << QByteArray("rw,user_id=0") << false;
        QTest::newRow("btrfs naming the partition") << QByteArray("NODE") << QByteArray("0:53")
                                                    << QByteArray("btrfs") << QByteArray("rw") << true;
        // Any path might lie on a network filesystem that hangs, and a
        // node outside /dev is anyone's to make.
        QTest::newRow("a node outside /dev is not looked at")
            << QByteArray("OUTSIDE") << QByteArray("0:52") << QByteArray("fuse") << QByteArray("rw,user_id=0") << false;
        QTest::newRow("tmpfs") << QByteArray("tmpfs") << QByteArray("0:30") << QByteArray("tmpfs") << QByteArray("rw")
                               << false;
    }

    void mounts_by_device_number()
    {
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, maj_min);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, options);
        QFETCH(bool, member);

        DeviceSet disk;
        disk.basis = DeviceSet::by_number;
        disk.whole_disk = true;
        disk.numbers = {number("8:16"), number("8:17"), number("8:18")};
        QTemporaryDir nodes;
        if (source.contains("NODE") || source == "OUTSIDE") {
#ifndef __linux__
            QSKIP("block device nodes and numbers in the mount table are Linux's");
#endif
            dev_t node_number = 0;
            const QByteArray node = dev_block_node({}, &node_number);
            if (node.isEmpty())
                QSKIP("no block device node in /dev to name");
            disk.numbers.push_back(node_number);
            if (source == "OUTSIDE") {
                if (geteuid() != 0)
                    QSKIP("making a block device node takes root");
                source = nodes.path().toLocal8Bit() + "/sdb1";
                QVERIFY(mknod(source.constData(), S_IFBLK | 0600, node_number) == 0);
            }
            source.replace("NODE", node);
        }
        const uid_t other = geteuid() == 65534 ? 65533 : 65534;
        options.replace("OTHER", QByteArray::number(other)).replace("ME", QByteArray::number(geteuid()));
        MountEntry mount = {source.toStdString(), "/media/x", number(maj_min), type.toStdString()};
        mount.options = options.toStdString();
        QCOMPARE(mount_owner(mount, disk) == Owner::member, member);
    }

    // A look at a name is put to the program's child, which it can give up
    // on, unless the name is a device node of devtmpfs itself: any other
    // name under /dev may be a link into a filesystem that never answers
    // (/dev/shm is anyone's to write).
    void stat_asks_only_device_nodes_directly_data()
    {
        QTest::addColumn<QByteArray>("path"); // BLOCK: a block node right in /dev
        QTest::addColumn<bool>("directly");
        QTest::addColumn<bool>("found");

        QTest::newRow("a character device") << QByteArray("/dev/null") << true << true;
        QTest::newRow("a block device") << QByteArray("BLOCK") << true << true;
        QTest::newRow("a folder anyone may write to") << QByteArray("/dev/shm") << false << true;
        QTest::newRow("a link") << QByteArray("/dev/stdin") << false << true;
        QTest::newRow("out of /dev again") << QByteArray("/dev/../dev/null") << false << true;
        QTest::newRow("no such name") << QByteArray("/dev/vorlix-none") << false << false;
        QTest::newRow("elsewhere") << QByteArray("/") << false << true;
    }

    void stat_asks_only_device_nodes_directly()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, directly);
        QFETCH(bool, found);
#ifndef __linux__
        QSKIP("devtmpfs is Linux's");
#endif
        if (path == "BLOCK") {
            dev_t node_number = 0;
            path = dev_block_node({}, &node_number);
            if (path.isEmpty())
                QSKIP("no block device node in /dev to name");
        }
        struct stat st;
        bool got = false;
        const int asked = questions_put([&] { got = probe_stat(path.constData(), &st); });
        QCOMPARE(asked == 0, directly);
        QCOMPARE(got, found);
    }

    // Where the system knows no such device, its name decides, however it
    // is spelled; a disk image file is known by its identity, so that a
    // link to it is the same disk. Another user's FUSE program may call its
    // filesystem after either, and is never the set's; a kernel's
    // filesystem never reads a file itself, so its source is not looked
    // at, as a look may wait for a filesystem that does not answer.
    void mounts_by_name_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("whole_disk");
        QTest::addColumn<QByteArray>("node");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("options"); // ME: this user's id, OTHER: another's
        QTest::addColumn<bool>("member");
        QTest::addColumn<bool>("looked"); // at the source, through the probe

        const QByteArray own = "rw,user_id=ME";
        const QByteArray others = "rw,user_id=OTHER,allow_other";
        QTest::newRow("volume") << QByteArray("/dev/da0s1") << false << QByteArray("/dev/da0s1")
                                << QByteArray("/dev/da0s1") << QByteArray("fuse") << own << true << false;
        QTest::newRow("volume spelled oddly") << QByteArray("/dev//da0s1") << false << QByteArray("/dev/da0s1")
                                              << QByteArray("/dev/./da0s1") << QByteArray("vfat") << QByteArray("rw")
                                              << true << false;
        QTest::newRow("not the volume") << QByteArray("/dev/da0s1") << false << QByteArray("/dev/da0s1")
                                        << QByteArray("/dev/da0s2") << QByteArray("fuse") << own << false << false;
        QTest::newRow("disk of a spelled-oddly device") << QByteArray("/dev//da0s1") << true << QByteArray("/dev/da0")
                                                        << QByteArray("/dev//da0s2") << QByteArray("fuse") << own
                                                        << true << false;
        QTest::newRow("not da10") << QByteArray("/dev/da1s1") << true << QByteArray("/dev/da1")
                                  << QByteArray("/dev/da10s1") << QByteArray("fuse") << own << false << false;
        QTest::newRow("another user's FUSE named after the volume")
            << QByteArray("/dev/da0s1") << false << QByteArray("/dev/da0s1") << QByteArray("/dev/da0s1")
            << QByteArray("fuse") << others << false << false;
        QTest::newRow("disk image file through a link")
            << QByteArray("FIX/da0s1") << false << QByteArray("FIX/da0s1") << QByteArray("FIX//da0")
            << QByteArray("fuse") << own << true << true;
        QTest::newRow("its disk") << QByteArray("FIX/da0s1") << true << QByteArray("FIX/da0") << QByteArray("FIX/da0")
                                  << QByteArray("fuse") << own << true << false;
        QTest::newRow("another file") << QByteArray("FIX/da0s1") << false << QByteArray("FIX/da0s1")
                                      << QByteArray("FIX/other") << QByteArray("fuse") << own << false << true;
        QTest::newRow("another user's FUSE named after the file")
            << QByteArray("FIX/da0s1") << false << QByteArray("FIX/da0s1") << QByteArray("FIX/da0")
            << QByteArray("fuse") << others << false << false;
        QTest::newRow("another user's FUSE named after the file by its link")
            << QByteArray("FIX/da0s1") << false << QByteArray("FIX/da0s1") << QByteArray("FIX/da0s1")
            << QByteArray("fuse") << others << false << false;
        QTest::newRow("a kernel's filesystem named after the file another way")
            << QByteArray("FIX/da0s1") << false << QByteArray("FIX/da0s1") << QByteArray("FIX/da0")
            << QByteArray("tmpfs") << QByteArray("rw") << false << false;
    }

    void mounts_by_name()
    {
        QFETCH(QByteArray, device);
        QFETCH(bool, whole_disk);
        QFETCH(QByteArray, node);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, options);
        QFETCH(bool, member);
        QFETCH(bool, looked);
#ifndef __linux__
        if (type == "fuse")
            QSKIP("FreeBSD shows every FUSE mount as /dev/fuse");
#endif

        QTemporaryDir fix;
        QFile disk_file(fix.filePath("da0"));
        QVERIFY(disk_file.open(QIODevice::WriteOnly));
        QFile other(fix.filePath("other"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link("da0", fix.filePath("da0s1")));
        const QByteArray f = fix.path().toLocal8Bit();
        device.replace("FIX", f);
        node.replace("FIX", f);
        source.replace("FIX", f);
        const uid_t other_user = geteuid() == 65534 ? 65533 : 65534;
        options.replace("OTHER", QByteArray::number(other_user)).replace("ME", QByteArray::number(geteuid()));

        const DeviceSet set = whole_disk ? disk_devices(device.constData()) : volume_devices(device.constData());
        QCOMPARE(set.basis, DeviceSet::by_name);
        QCOMPARE(QByteArray(set.node.c_str()), node);
        MountEntry mount = {source.toStdString(), "/media/x", number("0:40"), type.toStdString()};
        mount.options = options.toStdString();
        Owner owner = Owner::unknown;
        const int asked = questions_put([&] { owner = mount_owner(mount, set); });
        QCOMPARE(owner == Owner::member, member);
        QCOMPARE(asked > 0, looked);
    }

    // The image chosen for a disk image file's disk may be that very file,
    // by any name.
    void an_image_that_is_the_disk_file_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<bool>("on_it");

        QTest::newRow("the file") << QByteArray("da0") << true;
        QTest::newRow("a link to it") << QByteArray("da0s1") << true;
        QTest::newRow("another file") << QByteArray("other") << false;
    }

    void an_image_that_is_the_disk_file()
    {
        QFETCH(QByteArray, image);
        QFETCH(bool, on_it);
        QTemporaryDir fix;
        QFile disk_file(fix.filePath("da0"));
        QVERIFY(disk_file.open(QIODevice::WriteOnly));
        QFile other(fix.filePath("other"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link("da0", fix.filePath("da0s1")));
        const DeviceSet disk = disk_devices(fix.filePath("da0s1").toLocal8Bit().constData());
        const QByteArray path = fix.filePath(QString::fromLocal8Bit(image)).toLocal8Bit();
        QCOMPARE(path_on_devices(path.constData(), disk).answer == Placement::on_it, on_it);
    }
};

QTEST_APPLESS_MAIN(TestDiskDevices)
#include "test_disk_devices.moc"
