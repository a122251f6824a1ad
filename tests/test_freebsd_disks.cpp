// The FreeBSD branch of the platform layer, built on Linux: GEOM trees, the
// mount table and device names come from fakes of libgeom, getmntinfo,
// statfs and devname_r fed from the trees in tests/freebsd/geom and from
// tables.
#include "actions/release_mounts.h"
#include "jobs/window_disk.h"
#include "platform/device_holders.h"
#include "platform/disk_devices.h"
#include "platform/fs_query.h"
#include "platform/geom_disks.h"
#include "platform/mount_table.h"
#include "platform/unmount_rights.h"

#include "freebsd/fakes.h"

#include <QtTest>

#include <errno.h>
#include <libgeom.h>
#include <sys/stat.h>

#include <string>
#include <vector>

// A desktop with the two sticks of two-sticks.xml plugged in and mounted.
static const Mounts desktop = {
    {"/dev/ada0p2", "/"},
    {"devfs", "/dev"},
    {"/dev/da0s1", "/media/da0s1"},
    {"/dev/fuse", "/media/da0s2"},
    {"/dev/gpt/BACKUP", "/media/BACKUP"},
    {"tmpfs", "/tmp"},
};

static QStringList sorted(const std::vector<std::string> &names)
{
    QStringList out;
    for (const std::string &n : names)
        out << QString::fromStdString(n);
    out.sort();
    return out;
}

static std::vector<std::string> names_of(const QStringList &list)
{
    std::vector<std::string> out;
    for (const QString &n : list)
        out.push_back(n.toStdString());
    return out;
}

// Every provider of labels.xml's da0: its partitions and all their names.
static const QStringList labelled_da0 = {
    "da0", "da0p1", "da0p2", "da0p3", "da0p4",
    "ext2fs/linuxdata", "gpt/EFI", "gpt/linuxdata", "gpt/stickroot",
    "gptid/6b1f1d3e-3a0c-11ef-8f4e-9c6b0012ab01", "gptid/6b1f3a52-3a0c-11ef-8f4e-9c6b0012ab01",
    "gptid/6b1f5c07-3a0c-11ef-8f4e-9c6b0012ab01", "gptid/6b1f7dd9-3a0c-11ef-8f4e-9c6b0012ab01",
    "label/archive", "msdosfs/EFISYS", "ntfs/WINDATA", "ufs/STICKROOT", "ufsid/66a3f1c27b9e4d15",
};

// The helper as a fake: it unmounts the newest filesystem on dir, and the
// test may let it do more (a FUSE daemon ending when its filesystem goes).
struct FakeHelper {
    QList<QByteArray> calls;
    std::function<void(const QByteArray &dir)> also;

    UnmountDir as_function()
    {
        return [this](const std::string &dir) {
            const QByteArray d = QByteArray::fromStdString(dir);
            calls.append(d);
            for (int i = fake::mounts.size() - 1; i >= 0; --i)
                if (fake::mounts[i].second == d) {
                    fake::mounts.removeAt(i);
                    break;
                }
            if (also)
                also(d);
            return true;
        };
    }
};

class TestFreeBsdDisks : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fake::tree = fake::tree_file("two-sticks.xml");
        QVERIFY(!fake::tree.isEmpty());
        fake::mounts = desktop;
        fake::types = {{"/media/da0s2", "fusefs.exfat"}};
        // The exFAT daemon serving da0s2: /dev/fuse and the slice open.
        fake::processes = {{800, "mount.exfat", {{"/dev/fuse", "fuse"}, {"/dev/da0s2", "da0s2"}}, true}};
        fake::spaces.clear();
        fake::devnames.clear();
        fake::owners.clear();
        fake::usermount = 0;
        fake::euid = 1001; // a desktop user
    }

    // Only partitions, labels, encryption and nop layers lead down to the
    // disk, and only a disk (or a memory disk, as for an image) may be
    // written whole. Under anything else the walk stops and says which
    // class stopped it, with the set of what stands on that provider, so
    // that its filesystems can still be unmounted.
    void the_disk_under_a_provider_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("unwritable"); // empty: a disk to write
        QTest::addColumn<QStringList>("providers");

        const QStringList gm0 = {"mirror/gm0", "mirror/gm0p1"};
        QTest::newRow("a partition of a mirror") << "mirror.xml" << "mirror/gm0p1" << "mirror/gm0" << "MIRROR" << gm0;
        QTest::newRow("the mirror itself") << "mirror.xml" << "mirror/gm0" << "mirror/gm0" << "MIRROR" << gm0;
        QTest::newRow("a mirror left with one disk")
            << "mirror-degraded.xml" << "mirror/gm0p1" << "mirror/gm0" << "MIRROR" << gm0;
        QTest::newRow("a concatenation") << "concat.xml" << "concat/data" << "concat/data" << "CONCAT"
                                         << QStringList{"concat/data"};
        QTest::newRow("a slice of a ZFS volume")
            << "zvol.xml" << "zvol/zroot/images/sticks1" << "zvol/zroot/images/stick" << "ZFS::ZVOL"
            << QStringList{"zvol/zroot/images/stick", "zvol/zroot/images/sticks1"};
        QTest::newRow("an image attached as a memory disk")
            << "md-image.xml" << "md0s1" << "md0" << "" << QStringList{"md0", "md0s1"};
        QTest::newRow("an encrypted partition")
            << "busy-stick.xml" << "da0p1.eli" << "da0" << "" << QStringList{"da0", "da0p1", "da0p1.eli", "da0p2"};
        const QStringList labels = {"gpt/EFI", "gptid/6b1f3a52-3a0c-11ef-8f4e-9c6b0012ab01", "msdosfs/EFISYS",
                                    "ufs/STICKROOT", "ufsid/66a3f1c27b9e4d15", "ext2fs/linuxdata",
                                    "ntfs/WINDATA", "label/archive"};
        for (const QString &label : labels)
            QTest::newRow(qPrintable("label " + label)) << "labels.xml" << label << "da0" << "" << labelled_da0;
        const QStringList da1 = {"da1", "diskid/DISK-E0D55EA574E3F460B9A00B1C", "iso9660/FreeBSD_Install"};
        QTest::newRow("label iso9660/") << "labels.xml" << "iso9660/FreeBSD_Install" << "da1" << "" << da1;
        QTest::newRow("label diskid/") << "labels.xml" << "diskid/DISK-E0D55EA574E3F460B9A00B1C" << "da1" << ""
                                       << da1;
    }

    void the_disk_under_a_provider()
    {
        QFETCH(QString, tree);
        QFETCH(QString, name);
        QFETCH(QString, base);
        QFETCH(QString, unwritable);
        QFETCH(QStringList, providers);

        fake::tree = fake::tree_file(tree);
        GeomSet set;
        QVERIFY(geom_disk_of(name.toStdString(), &set));
        QCOMPARE(QString::fromStdString(set.base), base);
        QCOMPARE(QString::fromStdString(set.unwritable_class), unwritable);
        QCOMPARE(QString::fromStdString(set.providers.at(0)), base);
        QCOMPARE(sorted(set.providers), providers);
    }

    // A geom that takes two providers is never walked through, whatever
    // its class: the one libgeom lists first is only the last in the dump.
    void a_layer_over_two_disks()
    {
        fake::tree = fake::tree_file("mirror.xml").replace("<name>MIRROR</name>", "<name>NOP</name>");
        GeomSet set;
        QVERIFY(geom_disk_of("mirror/gm0p1", &set));
        QCOMPARE(set.base, std::string("mirror/gm0"));
        QCOMPARE(set.unwritable_class, std::string("NOP"));
    }

    // The disk is the rank-1 provider under the device, however the device
    // is named: a partition, a label, a label's partition.
    void disk_of_a_device_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QByteArray>("disk");
        QTest::addColumn<QStringList>("providers"); // empty: not known to GEOM

        const QStringList da0 = {"da0", "da0s1", "da0s2"};
        const QStringList da1 = {"da1", "da1p1", "gpt/BACKUP"};
        QTest::newRow("slice") << "two-sticks.xml" << QByteArray("/dev/da0s1") << QByteArray("/dev/da0") << da0;
        QTest::newRow("FUSE-held slice") << "two-sticks.xml" << QByteArray("/dev/da0s2") << QByteArray("/dev/da0") << da0;
        QTest::newRow("spelled oddly") << "two-sticks.xml" << QByteArray("/dev//./da0s1") << QByteArray("/dev/da0") << da0;
        QTest::newRow("GPT label") << "two-sticks.xml" << QByteArray("/dev/gpt/BACKUP") << QByteArray("/dev/da1") << da1;
        QTest::newRow("the disk itself") << "two-sticks.xml" << QByteArray("/dev/da1") << QByteArray("/dev/da1") << da1;
        QTest::newRow("system disk") << "two-sticks.xml" << QByteArray("/dev/ada0p2") << QByteArray("/dev/ada0")
                                     << QStringList{"ada0", "ada0p1", "ada0p2", "ada0p3", "gpt/gptboot0"};
        const QStringList idle = {"da0", "diskid/DISK-AA00000000012345", "msdosfs/NO_NAME"};
        QTest::newRow("whole-disk filesystem label")
            << "idle-whole-disk.xml" << QByteArray("/dev/msdosfs/NO_NAME") << QByteArray("/dev/da0") << idle;
        QTest::newRow("disk id label") << "idle-whole-disk.xml" << QByteArray("/dev/diskid/DISK-AA00000000012345")
                                       << QByteArray("/dev/da0") << idle;
        QTest::newRow("partition of a disk id label")
            << "diskid-partition.xml" << QByteArray("/dev/diskid/DISK-4C530001230525117285s1") << QByteArray("/dev/da0")
            << QStringList{"da0", "diskid/DISK-4C530001230525117285", "diskid/DISK-4C530001230525117285s1"};
        QTest::newRow("unknown to GEOM: by name") << "two-sticks.xml" << QByteArray("/dev/da7s1")
                                                  << QByteArray("/dev/da7") << QStringList{};
        QTest::newRow("tree unreadable: by name") << QString() << QByteArray("/dev/msdosfs/USB2GB")
                                                  << QByteArray("/dev/msdosfs/USB2") << QStringList{};
    }

    void disk_of_a_device()
    {
        QFETCH(QString, tree);
        QFETCH(QByteArray, device);
        QFETCH(QByteArray, disk);
        QFETCH(QStringList, providers);

        fake::tree = tree.isEmpty() ? QByteArray() : fake::tree_file(tree);
        const DeviceSet set = disk_devices(device.constData());
        QCOMPARE(QByteArray(set.node.c_str()), disk);
        QCOMPARE(set.basis, providers.isEmpty() ? DeviceSet::by_name : DeviceSet::by_provider);
        QCOMPARE(sorted(set.providers), providers);
    }

    // The volume is its provider and the labels that name the same data:
    // a stick mounted through its label is still that volume.
    void volume_and_its_labels_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QStringList>("providers");

        QTest::newRow("label") << "two-sticks.xml" << QByteArray("/dev/gpt/BACKUP") << QStringList{"da1p1", "gpt/BACKUP"};
        QTest::newRow("partition under a label") << "two-sticks.xml" << QByteArray("/dev/da1p1")
                                                 << QStringList{"da1p1", "gpt/BACKUP"};
        QTest::newRow("slice, not its neighbour") << "two-sticks.xml" << QByteArray("/dev/da0s1") << QStringList{"da0s1"};
        QTest::newRow("whole-disk filesystem")
            << "idle-whole-disk.xml" << QByteArray("/dev/da0")
            << QStringList{"da0", "diskid/DISK-AA00000000012345", "msdosfs/NO_NAME"};
        QTest::newRow("a partition's filesystem ids")
            << "labels.xml" << QByteArray("/dev/ufsid/66a3f1c27b9e4d15")
            << QStringList{"da0p2", "gpt/stickroot", "gptid/6b1f3a52-3a0c-11ef-8f4e-9c6b0012ab01", "ufs/STICKROOT",
                           "ufsid/66a3f1c27b9e4d15"};
        QTest::newRow("a glabel name beside a filesystem's")
            << "labels.xml" << QByteArray("/dev/label/archive")
            << QStringList{"da0p4", "gptid/6b1f7dd9-3a0c-11ef-8f4e-9c6b0012ab01", "label/archive", "ntfs/WINDATA"};
        QTest::newRow("a partition of a mirror") << "mirror.xml" << QByteArray("/dev/mirror/gm0p1")
                                                 << QStringList{"mirror/gm0p1"};
    }

    void volume_and_its_labels()
    {
        QFETCH(QString, tree);
        QFETCH(QByteArray, device);
        QFETCH(QStringList, providers);

        fake::tree = fake::tree_file(tree);
        QCOMPARE(sorted(volume_devices(device.constData()).providers), providers);
    }

    // Which mounts are a disk's: by the /dev name the table shows; a FUSE
    // mount by the device its daemon reads; the system disk's never.
    void mounts_of_a_disk_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QList<int>>("owners"); // per entry of the desktop table: 0 other, 1 member, 2 unknown

        QTest::newRow("da0") << QByteArray("/dev/da0s1") << QList<int>{0, 0, 1, 1, 0, 0};
        QTest::newRow("da1, mounted through its label") << QByteArray("/dev/da1p1") << QList<int>{0, 0, 0, 0, 1, 0};
        QTest::newRow("the system disk") << QByteArray("/dev/ada0p2") << QList<int>{1, 0, 0, 0, 0, 0};
    }

    void mounts_of_a_disk()
    {
        QFETCH(QByteArray, device);
        QFETCH(QList<int>, owners);

        const DeviceSet disk = disk_devices(device.constData());
        std::vector<MountEntry> mounts;
        QVERIFY(list_mounts(&mounts));
        QList<int> got;
        for (const MountEntry &m : mounts)
            got << static_cast<int>(mount_owner(m, disk));
        QCOMPARE(got, owners);
    }

    // Before a tool writes a disk: every filesystem of it goes, deepest
    // first, and the disk must be let go of, which a FUSE daemon does in its
    // own time. Nothing else is ever unmounted.
    void freeing_a_disk_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<Mounts>("extra");       // mounted after the desktop's
        QTest::addColumn<bool>("daemon_ends");   // the FUSE daemon lets go after the unmounts
        QTest::addColumn<QList<QByteArray>>("unmounted");
        QTest::addColumn<int>("result");

        const int done = static_cast<int>(Release::done), busy = static_cast<int>(Release::busy);
        // The exFAT slice's daemon reads da0s2: its filesystem is the
        // disk's, and goes too; the disk is free once the daemon lets go.
        QTest::newRow("a FUSE daemon that holds on blocks the job")
            << QByteArray("/dev/da0s1") << Mounts{} << false
            << QList<QByteArray>{"/media/da0s1", "/media/da0s2"} << busy;
        QTest::newRow("once the daemon lets go, the disk is free")
            << QByteArray("/dev/da0s1") << Mounts{} << true << QList<QByteArray>{"/media/da0s1", "/media/da0s2"}
            << done;
        QTest::newRow("a stick mounted through its label and its partition")
            << QByteArray("/dev/gpt/BACKUP") << Mounts{{"/dev/da1p1", "/mnt/backup2"}} << false
            << QList<QByteArray>{"/media/BACKUP", "/mnt/backup2"} << done;
        QTest::newRow("deepest first, the system disk untouched")
            << QByteArray("/dev/da0s2") << Mounts{{"/dev/da0s1", "/media/da0s1/in"}, {"/dev/ada0p2", "/media/sys"}}
            << true << QList<QByteArray>{"/media/da0s1/in", "/media/da0s1", "/media/da0s2"} << done;
    }

    void freeing_a_disk()
    {
        QFETCH(QByteArray, device);
        QFETCH(Mounts, extra);
        QFETCH(bool, daemon_ends);
        QFETCH(QList<QByteArray>, unmounted);
        QFETCH(int, result);

        fake::mounts += extra;
        const DeviceSet disk = disk_devices(device.constData());
        FakeHelper helper;
        helper.also = [&](const QByteArray &) {
            // The stick's filesystems are gone from the table: what still
            // holds the disk is the daemon, which may or may not end.
            if (daemon_ends && !fake::mounts.contains({"/dev/da0s1", "/media/da0s1"})
                && !fake::mounts.contains({"/dev/fuse", "/media/da0s2"})) {
                fake::set_mode("da0", "r0w0e0");
                fake::processes.clear();
            }
            if (!fake::mounts.contains({"/dev/gpt/BACKUP", "/media/BACKUP"})
                && !fake::mounts.contains({"/dev/da1p1", "/mnt/backup2"}))
                fake::set_mode("da1", "r0w0e0");
        };
        const Release got = release_disk(disk, helper.as_function(), 300);
        QCOMPARE(helper.calls, unmounted);
        QCOMPARE(static_cast<int>(got), result);
    }

    // The Unmount button on a volume a FUSE daemon serves: the mount on the
    // folder is the volume's only while a daemon reads its device.
    void unmounting_a_fuse_volume_data()
    {
        QTest::addColumn<QByteArray>("held"); // the volume's mode; r0w0e0: no daemon reads it
        QTest::addColumn<bool>("daemon_ends");
        QTest::addColumn<QList<QByteArray>>("unmounted");
        QTest::addColumn<int>("result");

        QTest::newRow("held, then let go") << QByteArray("r1w1e0") << true << QList<QByteArray>{"/media/da0s2"}
                                           << static_cast<int>(Release::done);
        QTest::newRow("held for good") << QByteArray("r1w1e0") << false << QList<QByteArray>{"/media/da0s2"}
                                       << static_cast<int>(Release::busy);
        QTest::newRow("not held: not the volume's") << QByteArray("r0w0e0") << false << QList<QByteArray>{}
                                                    << static_cast<int>(Release::busy);
        // Mounted by a devd hook as root: its daemon is root's, whose files
        // the user may not see. Its device is held, and its mount is not
        // known to be another's: unmounted, as a privileged helper can.
        QTest::newRow("its daemon another user's") << QByteArray("r1w1e0 root") << true
                                                   << QList<QByteArray>{"/media/da0s2"}
                                                   << static_cast<int>(Release::done);
    }

    void unmounting_a_fuse_volume()
    {
        QFETCH(QByteArray, held);
        QFETCH(bool, daemon_ends);
        QFETCH(QList<QByteArray>, unmounted);
        QFETCH(int, result);

        if (held.endsWith(" root")) {
            held.chop(5);
            fake::processes[0].visible = false;
        }
        fake::set_mode("da0s2", held);
        if (held == "r0w0e0")
            fake::processes.clear();
        FakeHelper helper;
        helper.also = [&](const QByteArray &) {
            if (daemon_ends) {
                fake::set_mode("da0s2", "r0w0e0");
                fake::processes.clear();
            }
        };
        const Release got = release_volume("/media/da0s2", volume_devices("/dev/da0s2"), helper.as_function(), 300);
        QCOMPARE(helper.calls, unmounted);
        QCOMPARE(static_cast<int>(got), result);
    }

    // Another device's filesystem over the volume's folder: the helper
    // would take that one away, so it is not run at all.
    void a_stranger_on_the_folder()
    {
        fake::mounts.append(qMakePair(QByteArray("/dev/da1p1"), QByteArray("/media/da0s1")));
        FakeHelper helper;
        const Release got = release_volume("/media/da0s1", volume_devices("/dev/da0s1"), helper.as_function(), 300);
        QCOMPARE(got, Release::busy);
        QVERIFY(helper.calls.isEmpty());
        QCOMPARE(fake::mounts.size(), desktop.size() + 1);
    }

    // A FUSE filesystem (sshfs, say) over a volume the kernel mounted is a
    // stranger's, although the volume's device is held: by the kernel. Over
    // a FUSE volume it cannot be told from the volume's.
    void a_fuse_mount_over_a_volume_data()
    {
        QTest::addColumn<QByteArray>("device");

        QTest::newRow("over a kernel-mounted volume") << QByteArray("/dev/da0s1");
        QTest::newRow("over a FUSE volume") << QByteArray("/dev/da0s2");
    }

    void a_fuse_mount_over_a_volume()
    {
        QFETCH(QByteArray, device);

        const QByteArray folder = "/media/" + device.mid(5);
        fake::mounts.append(qMakePair(QByteArray("/dev/fuse"), folder));
        FakeHelper helper;
        const Release got = release_volume(folder.constData(), volume_devices(device.constData()),
                                           helper.as_function(), 300);
        QCOMPARE(got, Release::busy);
        QVERIFY(helper.calls.isEmpty());
    }

    // A stick mounted twice, through its label and its partition: both go.
    void a_volume_under_two_names()
    {
        fake::mounts.append(qMakePair(QByteArray("/dev/da1p1"), QByteArray("/media/backup2")));
        FakeHelper helper;
        helper.also = [](const QByteArray &) {
            if (!fake::mounts.contains({"/dev/da1p1", "/media/backup2"}))
                fake::set_mode("da1p1", "r0w0e0");
        };
        const Release got = release_volume("/media/BACKUP", volume_devices("/dev/gpt/BACKUP"), helper.as_function(), 300);
        QCOMPARE(got, Release::done);
        QCOMPARE(helper.calls, (QList<QByteArray>{"/media/BACKUP", "/media/backup2"}));
    }

    // An image on the disk it would overwrite.
    void files_on_the_disk_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("on_disk");

        QTest::newRow("on the volume") << QByteArray("/dev/da0s1") << QByteArray("/media/da0s1/backup.img") << true;
        QTest::newRow("on a filesystem mounted through a label")
            << QByteArray("/dev/da1p1") << QByteArray("/media/BACKUP/os.img") << true;
        QTest::newRow("in the home folder") << QByteArray("/dev/da0s1") << QByteArray("/home/u/os.img") << false;
        QTest::newRow("on another stick") << QByteArray("/dev/da0s1") << QByteArray("/media/BACKUP/os.img") << false;
        QTest::newRow("the disk's own slice") << QByteArray("/dev/da0s1") << QByteArray("/dev/da0s2") << true;
        // A FUSE daemon serves the other slice: /dev/fuse names no device.
        QTest::newRow("on a FUSE filesystem while the disk has a daemon")
            << QByteArray("/dev/da0s1") << QByteArray("/media/da0s2/os.img") << true;
        QTest::newRow("on a FUSE filesystem, no daemon on the disk")
            << QByteArray("/dev/da1p1") << QByteArray("/media/da0s2/os.img") << false;
    }

    void files_on_the_disk()
    {
        QFETCH(QByteArray, device);
        QFETCH(QByteArray, path);
        QFETCH(bool, on_disk);

        QCOMPARE(path_on_devices(path.constData(), disk_devices(device.constData())).answer == Placement::on_it,
                 on_disk);
    }

    // A partition beside the volume that a daemon holds: no unmount frees
    // the disk, so a job must not start by unmounting the volume.
    void held_beside_the_volume_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("held");

        QTest::newRow("kernel-mounted slice beside a FUSE one") << QByteArray("/dev/da0s1") << true;
        QTest::newRow("the FUSE slice itself") << QByteArray("/dev/da0s2") << false;
        QTest::newRow("a stick without a daemon") << QByteArray("/dev/gpt/BACKUP") << false;
    }

    void held_beside_the_volume()
    {
        QFETCH(QByteArray, device);
        QFETCH(bool, held);

        QCOMPARE(disk_held_beside(disk_devices(device.constData()), volume_devices(device.constData())), held);
    }

    // Whether anything still holds a disk open; unreadable means held.
    void held_open_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<bool>("released");

        QTest::newRow("mounted stick") << "two-sticks.xml" << false;
        QTest::newRow("idle stick") << "idle-whole-disk.xml" << true;
    }

    void held_open()
    {
        QFETCH(QString, tree);
        QFETCH(bool, released);

        fake::tree = fake::tree_file(tree);
        const DeviceSet disk = disk_devices("/dev/da0");
        QCOMPARE(devices_released(disk), released);
        fake::tree.clear();
        QVERIFY(!devices_released(disk));
    }

    // What tells one disk from another: the serial number of the disk
    // under the provider and the provider's own size.
    void identity_of_a_provider_data()
    {
        QTest::addColumn<QString>("tree"); // empty: unreadable
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("ident");
        QTest::addColumn<qlonglong>("mediasize");

        QTest::newRow("a disk") << "idle-whole-disk.xml" << "da0" << true << "AA00000000012345" << 7742685184LL;
        QTest::newRow("a slice: its disk's serial, its own size")
            << "two-sticks.xml" << "da0s1" << true << "4C530001230525117285" << 8004304896LL;
        QTest::newRow("a label of a partition")
            << "two-sticks.xml" << "gpt/BACKUP" << true << "070B3F1A2C4D5E60" << 32014630912LL;
        QTest::newRow("an encrypted partition")
            << "busy-stick.xml" << "da0p1.eli" << true << "0376221070011853" << 32212250624LL;
        QTest::newRow("a memory disk has no serial") << "md-image.xml" << "md0" << true << "" << 4009754624LL;
        QTest::newRow("gone") << "stick-pulled.xml" << "da0" << false << "" << 0LL;
        QTest::newRow("tree unreadable") << "" << "da0" << false << "" << 0LL;
    }

    void identity_of_a_provider()
    {
        QFETCH(QString, tree);
        QFETCH(QString, name);
        QFETCH(bool, known);
        QFETCH(QString, ident);
        QFETCH(qlonglong, mediasize);

        fake::tree = tree.isEmpty() ? QByteArray() : fake::tree_file(tree);
        GeomIdentity id;
        QCOMPARE(geom_identity(name.toStdString(), &id), known);
        if (!known)
            return;
        QCOMPARE(QString::fromStdString(id.provider), name);
        QCOMPARE(QString::fromStdString(id.ident), ident);
        QCOMPARE(static_cast<qlonglong>(id.mediasize), mediasize);
    }

    // The stick is pulled during the wait and another comes back under the
    // same names: while it is gone nothing is free to write, and after, only
    // its identity tells it from the first.
    void a_stick_swapped_under_the_same_name()
    {
        fake::tree = fake::tree_file("idle-whole-disk.xml");
        const DeviceSet disk = disk_devices("/dev/msdosfs/NO_NAME");
        GeomIdentity first;
        QVERIFY(geom_identity(disk.holder, &first));
        QVERIFY(devices_released(disk));

        fake::tree = fake::tree_file("stick-pulled.xml");
        GeomIdentity none;
        QVERIFY(!geom_identity(disk.holder, &none));
        QVERIFY(!geom_provider_idle(disk.holder));
        QVERIFY(!devices_released(disk));

        fake::tree = fake::tree_file("swapped-stick.xml");
        QCOMPARE(disk_devices("/dev/msdosfs/NO_NAME").node, disk.node);
        QVERIFY(devices_released(disk));
        GeomIdentity second;
        QVERIFY(geom_identity(disk.holder, &second));
        QCOMPARE(second.provider, first.provider);
        QVERIFY(second.ident != first.ident);
        QVERIFY(second.mediasize != first.mediasize);
    }

    // A job writes only the disk the window opened on: its identity is
    // taken as the window opens and asked again when a job's button is
    // pressed. A stick plugged in under the same names is another disk by
    // its serial number or its size; one that cannot be told is none.
    void the_window_disk_data()
    {
        QTest::addColumn<QString>("at_start"); // the tree as the window opens; empty: unreadable
        QTest::addColumn<QString>("at_press");
        QTest::addColumn<QByteArray>("edit");  // "<old>|<new>" in the tree at the press
        QTest::addColumn<bool>("same");

        const QString stick = "idle-whole-disk.xml";
        QTest::newRow("the same stick") << stick << stick << QByteArray() << true;
        QTest::newRow("another stick under its names") << stick << "swapped-stick.xml" << QByteArray() << false;
        QTest::newRow("the same serial, another size")
            << stick << stick << QByteArray("7742685184|7742686208") << false;
        QTest::newRow("the same size, another serial")
            << stick << stick << QByteArray("AA00000000012345|AA00000000054321") << false;
        QTest::newRow("pulled") << stick << "stick-pulled.xml" << QByteArray() << false;
        QTest::newRow("GEOM unreadable as the window opens") << QString() << stick << QByteArray() << false;
        QTest::newRow("GEOM unreadable at the press") << stick << QString() << QByteArray() << false;
    }

    void the_window_disk()
    {
        QFETCH(QString, at_start);
        QFETCH(QString, at_press);
        QFETCH(QByteArray, edit);
        QFETCH(bool, same);

        fake::tree = at_start.isEmpty() ? QByteArray() : fake::tree_file(at_start);
        take_window_disk("/dev/msdosfs/NO_NAME");
        fake::tree = at_press.isEmpty() ? QByteArray() : fake::tree_file(at_press);
        if (!edit.isEmpty())
            fake::tree.replace(edit.split('|')[0], edit.split('|')[1]);
        // The disk as the job finds it when pressed, by the same name.
        QCOMPARE(is_window_disk(disk_devices("/dev/msdosfs/NO_NAME")), same);
        QCOMPARE(fake::trees_alive(), 0);
    }

    // What holds a provider open, for saying why a disk is busy. A disk's
    // partition table and labels are looked through to what holds them.
    void what_holds_a_provider_data()
    {
        QTest::addColumn<QString>("tree"); // empty: unreadable
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("holds"); // "provider class", sorted

        QTest::newRow("geli attached") << "busy-stick.xml" << QStringList{"da0p1"} << QStringList{"da0p1 ELI"};
        QTest::newRow("a mounted filesystem") << "busy-stick.xml" << QStringList{"da0p1.eli"}
                                              << QStringList{"da0p1.eli VFS"};
        QTest::newRow("a program through the node") << "busy-stick.xml" << QStringList{"da0p2"}
                                                    << QStringList{"da0p2 DEV"};
        QTest::newRow("swap") << "zvol.xml" << QStringList{"ada0p2"} << QStringList{"ada0p2 SWAP"};
        QTest::newRow("a ZFS pool") << "zvol.xml" << QStringList{"ada0p3"} << QStringList{"ada0p3 ZFS::VDEV"};
        QTest::newRow("a disk, through its partitions")
            << "busy-stick.xml" << QStringList{"da0"} << QStringList{"da0p1 ELI", "da0p2 DEV"};
        QTest::newRow("a disk and its partition, each hold once")
            << "busy-stick.xml" << QStringList{"da0", "da0p1", "da0p2"} << QStringList{"da0p1 ELI", "da0p2 DEV"};
        QTest::newRow("the system disk") << "zvol.xml" << QStringList{"ada0"}
                                         << QStringList{"ada0p2 SWAP", "ada0p3 ZFS::VDEV"};
        QTest::newRow("through a partition and its label")
            << "two-sticks.xml" << QStringList{"da1"} << QStringList{"gpt/BACKUP VFS"};
        QTest::newRow("through a disk-id label and its partition")
            << "diskid-partition.xml" << QStringList{"da0"}
            << QStringList{"diskid/DISK-4C530001230525117285s1 VFS"};
        QTest::newRow("a mirror's component") << "mirror.xml" << QStringList{"da1"} << QStringList{"da1 MIRROR"};
        QTest::newRow("nothing open") << "idle-whole-disk.xml" << QStringList{"da0"} << QStringList{};
        QTest::newRow("gone") << "stick-pulled.xml" << QStringList{"da0"} << QStringList{};
        QTest::newRow("tree unreadable") << "" << QStringList{"da0"} << QStringList{};
    }

    void what_holds_a_provider()
    {
        QFETCH(QString, tree);
        QFETCH(QStringList, names);
        QFETCH(QStringList, holds);

        fake::tree = tree.isEmpty() ? QByteArray() : fake::tree_file(tree);
        QStringList got;
        for (const GeomHold &h : geom_holds(names_of(names)))
            got << QString::fromStdString(h.provider + " " + h.cls);
        const int count = got.size();
        got.sort();
        QCOMPARE(got, holds);
        got.removeDuplicates();
        QCOMPARE(got.size(), count);
    }

    // A device named through a symbolic link or "..": the system names its
    // node. The tree's own spelling is taken as it stands.
    void provider_of_a_path_data()
    {
        QTest::addColumn<QString>("tree"); // empty: unreadable
        QTest::addColumn<QString>("path"); // "@" stands for a fresh folder
        QTest::addColumn<bool>("named");   // the system knows the node the link reaches
        QTest::addColumn<QString>("provider");

        QTest::newRow("spelled oddly") << "two-sticks.xml" << "/dev//./da0s1" << false << "da0s1";
        QTest::newRow("a label") << "two-sticks.xml" << "/dev/gpt/BACKUP" << false << "gpt/BACKUP";
        QTest::newRow("a link") << "two-sticks.xml" << "@/stick" << true << "da0s1";
        QTest::newRow("through ..") << "two-sticks.xml" << "@/sub/../stick" << true << "da0s1";
        QTest::newRow("a link, the tree unreadable") << "" << "@/stick" << true << "da0s1";
        QTest::newRow("a node the system cannot name") << "two-sticks.xml" << "@/stick" << false << "";
        QTest::newRow("a regular file") << "two-sticks.xml" << "@/file" << true << "";
        QTest::newRow("nothing there") << "two-sticks.xml" << "@/none" << true << "";
        QTest::newRow("unknown under /dev") << "two-sticks.xml" << "/dev/da7s1" << true << "";
    }

    void provider_of_a_path()
    {
        QFETCH(QString, tree);
        QFETCH(QString, path);
        QFETCH(bool, named);
        QFETCH(QString, provider);

        // The link reaches a real character device; the fake names it.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QVERIFY(QFile::link("/dev/null", dir.filePath("stick")));
        QFile file(dir.filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        struct stat st;
        QCOMPARE(stat("/dev/null", &st), 0);
        if (named)
            fake::devnames = {{st.st_rdev, "da0s1"}};
        fake::tree = tree.isEmpty() ? QByteArray() : fake::tree_file(tree);
        const QByteArray full = QString(path).replace('@', dir.path()).toLocal8Bit();
        QCOMPARE(QString::fromStdString(geom_provider_for(full.constData())), provider);
    }

    // The disk of a device named through a link is found as for its node.
    void the_disk_of_a_link()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::link("/dev/null", dir.filePath("stick")));
        struct stat st;
        QCOMPARE(stat("/dev/null", &st), 0);
        fake::devnames = {{st.st_rdev, "gpt/BACKUP"}};
        const DeviceSet set = disk_devices(dir.filePath("stick").toLocal8Bit().constData());
        QCOMPARE(set.basis, DeviceSet::by_provider);
        QCOMPARE(set.node, std::string("/dev/da1"));
        QCOMPARE(sorted(set.providers), (QStringList{"da1", "da1p1", "gpt/BACKUP"}));
    }

    // The filesystem info report's question: statfs gives the size and the
    // folder the filesystem is mounted on.
    void filesystem_usage_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("mounted_on");
        QTest::addColumn<quint64>("block_size");
        QTest::addColumn<quint64>("blocks");
        QTest::addColumn<quint64>("free_blocks");

        QTest::newRow("a file on a stick") << QByteArray("/media/da0s1/photos/a.jpg") << QByteArray("/media/da0s1")
                                           << quint64(32768) << quint64(244000) << quint64(100000);
        QTest::newRow("the mount point") << QByteArray("/media/BACKUP") << QByteArray("/media/BACKUP")
                                         << quint64(4096) << quint64(7816064) << quint64(7800000);
    }

    void filesystem_usage()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, mounted_on);
        QFETCH(quint64, block_size);
        QFETCH(quint64, blocks);
        QFETCH(quint64, free_blocks);

        fake::spaces = {{"/media/da0s1", {32768, 244000, 100000}}, {"/media/BACKUP", {4096, 7816064, 7800000}}};
        FsUsage usage;
        QCOMPARE(fs_query(path.constData(), &usage), 0);
        QCOMPARE(QByteArray(usage.mounted_on), mounted_on);
        QCOMPARE(quint64(usage.block_size), block_size);
        QCOMPARE(quint64(usage.blocks), blocks);
        QCOMPARE(quint64(usage.free_blocks), free_blocks);
    }

    void filesystem_usage_unknown()
    {
        fake::mounts.clear();
        FsUsage usage;
        errno = 0;
        QCOMPARE(fs_query("/media/da0s1", &usage), -1);
        QCOMPARE(errno, ENOENT);
    }

    // A dump that breaks off part-way: libgeom leaves the classes it had
    // read in the mesh. Nothing is found, and nothing is kept.
    void a_tree_that_breaks_off()
    {
        const QByteArray whole = fake::tree_file("two-sticks.xml");
        fake::tree = whole.left(whole.size() / 2);
        gmesh mesh;
        QVERIFY(geom_gettree(&mesh) != 0);
        QVERIFY(!LIST_EMPTY(&mesh.lg_class));
        geom_deletetree(&mesh);
        QCOMPARE(fake::trees_alive(), 0);

        GeomSet set;
        QVERIFY(!geom_disk_of("da0s1", &set));
        QVERIFY(!geom_provider_idle("da0"));
        QVERIFY(geom_holds({"da0"}).empty());
        QCOMPARE(fake::trees_alive(), 0);
    }

    // A disk under a layer that spans disks is none to write whole; the
    // job says which layer, with its provider.
    void a_disk_vorlix_may_not_write_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QByteArray>("unwritable");

        QTest::newRow("a partition of a mirror") << "mirror.xml" << QByteArray("/dev/mirror/gm0p1")
                                                 << QByteArray("mirror/gm0 (MIRROR)");
        QTest::newRow("a concatenation") << "concat.xml" << QByteArray("/dev/concat/data")
                                         << QByteArray("concat/data (CONCAT)");
        QTest::newRow("an md image may be written") << "md-image.xml" << QByteArray("/dev/md0s1") << QByteArray();
        QTest::newRow("a stick") << "two-sticks.xml" << QByteArray("/dev/da0s1") << QByteArray();
    }

    void a_disk_vorlix_may_not_write()
    {
        QFETCH(QString, tree);
        QFETCH(QByteArray, device);
        QFETCH(QByteArray, unwritable);

        fake::tree = fake::tree_file(tree);
        QCOMPARE(QByteArray::fromStdString(disk_devices(device.constData()).unwritable), unwritable);
    }

    // A FUSE filesystem is da0's only when a daemon serving FUSE reads a
    // device of da0: its mount shows the name the daemon chose (a device,
    // "user@host:dir"), or /dev/fuse where it chose none. Beside da0's exFAT
    // daemon runs an sshfs one; an image on either is judged by that.
    void fuse_linked_to_its_device_data()
    {
        QTest::addColumn<QByteArray>("exfat_from"); // what the exFAT mount on /media/da0s2 shows
        QTest::addColumn<QByteArray>("sshfs_from"); // and the sshfs mount on /media/net
        QTest::addColumn<bool>("daemons_visible");
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("answer");           // Placement::Answer

        const int elsewhere = Placement::elsewhere, on_it = Placement::on_it, cannot_tell = Placement::cannot_tell;
        QTest::newRow("on sshfs, both named") << QByteArray("/dev/da0s2") << QByteArray("u@host:/srv") << true
                                              << QByteArray("/media/net/os.img") << elsewhere;
        QTest::newRow("on the exFAT slice, both named") << QByteArray("/dev/da0s2") << QByteArray("u@host:/srv")
                                                        << true << QByteArray("/media/da0s2/os.img") << on_it;
        QTest::newRow("on sshfs, exFAT nameless") << QByteArray("/dev/fuse") << QByteArray("u@host:/srv") << true
                                                  << QByteArray("/media/net/os.img") << elsewhere;
        QTest::newRow("on the exFAT slice, nameless, the one such mount")
            << QByteArray("/dev/fuse") << QByteArray("u@host:/srv") << true << QByteArray("/media/da0s2/os.img")
            << on_it;
        // Two nameless FUSE mounts and a daemon reading da0: which is its
        // own cannot be told, so both count, and the user is told why.
        QTest::newRow("on sshfs, both nameless") << QByteArray("/dev/fuse") << QByteArray("/dev/fuse") << true
                                                 << QByteArray("/media/net/os.img") << cannot_tell;
        // A name that says da0s2 while no daemon reads it: a name only.
        QTest::newRow("named da0s2, read by none")
            << QByteArray("/dev/da0s2") << QByteArray("u@host:/srv") << true << QByteArray("/media/net/os.img")
            << elsewhere;
        // Daemons of another user, whose files may not be looked into.
        QTest::newRow("on sshfs, daemons not ours to see")
            << QByteArray("/dev/fuse") << QByteArray("/dev/fuse") << false << QByteArray("/media/net/os.img")
            << cannot_tell;
    }

    void fuse_linked_to_its_device()
    {
        QFETCH(QByteArray, exfat_from);
        QFETCH(QByteArray, sshfs_from);
        QFETCH(bool, daemons_visible);
        QFETCH(QByteArray, image);
        QFETCH(int, answer);

        fake::mounts = {{"/dev/ada0p2", "/"}, {exfat_from, "/media/da0s2"}, {sshfs_from, "/media/net"}};
        fake::types = {{"/media/da0s2", "fusefs.exfat"}, {"/media/net", "fusefs.sshfs"}};
        const bool named_but_unread = QByteArray(QTest::currentDataTag()) == "named da0s2, read by none";
        fake::processes = {
            {800, "mount.exfat", {{"/dev/fuse", "fuse"}}, daemons_visible},
            {900, "sshfs", {{"/dev/fuse", "fuse"}}, daemons_visible},
        };
        if (!named_but_unread)
            fake::processes[0].files.append(fake::FakeFile{"/dev/da0s2", "da0s2", false});
        const Placement p = path_on_devices(image.constData(), disk_devices("/dev/da0s1"));
        QCOMPARE(static_cast<int>(p.answer), answer);
        if (answer == Placement::cannot_tell)
            QCOMPARE(QByteArray::fromStdString(p.where), QByteArray("/media/net"));
    }

    // What a user may unmount on FreeBSD: root anything; another user only
    // with vfs.usermount=1, and only what that user mounted.
    void who_may_unmount_data()
    {
        QTest::addColumn<int>("usermount");
        QTest::addColumn<int>("owner");
        QTest::addColumn<int>("uid");
        QTest::addColumn<bool>("denied");

        QTest::newRow("root") << 0 << 0 << 0 << false;
        QTest::newRow("mounted by root, usermount off") << 0 << 0 << 1001 << true;
        QTest::newRow("mounted by root, usermount on") << 1 << 0 << 1001 << true;
        QTest::newRow("the user's own, usermount off") << 0 << 1001 << 1001 << true;
        QTest::newRow("the user's own, usermount on") << 1 << 1001 << 1001 << false;
    }

    void who_may_unmount()
    {
        QFETCH(int, usermount);
        QFETCH(int, owner);
        QFETCH(int, uid);
        QFETCH(bool, denied);

        fake::usermount = usermount;
        fake::owners = {{"/media/da0s1", static_cast<uid_t>(owner)}};
        QCOMPARE(unmount_denied("/media/da0s1", static_cast<uid_t>(uid)), denied);
    }

    // Why Unmount failed, for the user: that the user may not unmount it
    // at all comes before where it is still mounted.
    void why_an_unmount_failed_data()
    {
        QTest::addColumn<int>("usermount");
        QTest::addColumn<int>("owner");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("what");

        QTest::newRow("mounted by root, as the hook does") << 0 << 0 << static_cast<int>(Holder::not_permitted)
                                                           << QByteArray("/media/da0s1");
        QTest::newRow("mounted by the user, usermount on")
            << 1 << 1001 << static_cast<int>(Holder::mounted_on) << QByteArray("/media/da0s1");
    }

    void why_an_unmount_failed()
    {
        QFETCH(int, usermount);
        QFETCH(int, owner);
        QFETCH(int, kind);
        QFETCH(QByteArray, what);

        fake::usermount = usermount;
        fake::owners = {{"/media/da0s1", static_cast<uid_t>(owner)}};
        Holder why;
        QVERIFY(why_still_held(volume_devices("/dev/da0s1"), "/media/da0s1", 1001, &why));
        QCOMPARE(static_cast<int>(why.kind), kind);
        QCOMPARE(QByteArray::fromStdString(why.what), what);
    }

    // The line that says what holds a disk names the layer or the program.
    void what_holds_the_disk_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("what");

        QTest::newRow("a FUSE daemon through /dev, by name") << "two-sticks.xml" << QByteArray("/dev/da0s2")
                                                             << static_cast<int>(Holder::program)
                                                             << QByteArray("mount.exfat");
        QTest::newRow("an encrypted layer") << "busy-stick.xml" << QByteArray("/dev/da0p1")
                                            << static_cast<int>(Holder::geom_class) << QByteArray("ELI");
    }

    void what_holds_the_disk()
    {
        QFETCH(QString, tree);
        QFETCH(QByteArray, device);
        QFETCH(int, kind);
        QFETCH(QByteArray, what);

        fake::tree = fake::tree_file(tree);
        fake::mounts = {{"/dev/ada0p2", "/"}};
        const std::vector<Holder> holders = device_holders(disk_devices(device.constData()));
        QVERIFY(!holders.empty());
        QCOMPARE(static_cast<int>(holders.front().kind), kind);
        QCOMPARE(QByteArray::fromStdString(holders.front().what), what);
    }
};

QTEST_APPLESS_MAIN(TestFreeBsdDisks)
#include "test_freebsd_disks.moc"
