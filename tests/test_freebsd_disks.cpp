// The FreeBSD branch of the platform layer, built on Linux: GEOM trees, the
// mount table and device names come from fakes of libgeom, getmntinfo,
// statfs and devname_r fed from the trees in tests/freebsd/geom and from
// tables.
#include "actions/release_mounts.h"
#include "jobs/window_disk.h"
#include "platform/device_holders.h"
#include "platform/disk_devices.h"
#include "platform/bounded_query.h"
#include "platform/fs_probe.h"
#include "platform/fs_query.h"
#include "platform/fuse_link.h"
#include "platform/geom_disks.h"
#include "platform/mount_table.h"
#include "platform/process_files.h"
#include "platform/unmount_rights.h"

#include "freebsd/fakes.h"

#include <QtTest>

#include <errno.h>
#include <libgeom.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A process as fake::processes holds it: the test's user's, seen, unless
// the test says otherwise.
static fake::FakeProcess program(long pid, const QByteArray &command, const QList<fake::FakeFile> &files,
                                 const QList<QByteArray> &args = {})
{
    fake::FakeProcess p;
    p.pid = pid;
    p.command = command;
    p.files = files;
    p.args = args;
    return p;
}

static bool asks_directly(const std::function<std::string()> &question, std::string *answer)
{
    *answer = question();
    return true;
}

// A FUSE daemon of the tables below: the device it holds open and, unless
// it does not, names on its command line with the folder it serves; the
// user it runs as, who mounted that folder.
struct Daemon {
    long pid = 0;
    QByteArray command;
    QByteArray device; // "da0s1"; empty: it reads none
    QByteArray folder;
    long user = 0;
    bool named = true;     // its command line names the device
    long started_by = -1;  // a set-user-id program started by that user
};
Q_DECLARE_METATYPE(Daemon)

static fake::FakeProcess daemon_process(const Daemon &d)
{
    QList<fake::FakeFile> files = {{"/dev/fuse", "fuse"}};
    QList<QByteArray> args;
    if (!d.device.isEmpty()) {
        files.append(fake::FakeFile{"/dev/" + d.device, d.device});
        if (d.named)
            args.append("/dev/" + d.device);
    }
    args.append(d.folder);
    fake::FakeProcess p = program(d.pid, d.command, files, args);
    p.owner = d.user;
    p.started_by = d.started_by;
    return p;
}

// The FUSE mounts of the table now, each as its link says: "da0s1 0" (its
// device and its daemon's user), "unlinked 1001" or "unknown".
static QStringList fuse_links_now()
{
    std::vector<MountEntry> mounts;
    QStringList links;
    if (!list_mounts(&mounts))
        return links;
    for (const MountEntry &m : mounts) {
        if (!is_fuse_type(m.type))
            continue;
        const FuseLink link = fuse_link(m);
        const QString owner = link.owner_known ? QString::number(link.owner) : "?";
        if (link.state == FuseLink::linked)
            links << QString::fromStdString(link.device.substr(5)) + " " + owner;
        else if (link.state == FuseLink::unlinked)
            links << "unlinked " + owner;
        else
            links << "unknown";
    }
    return links;
}

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
        // The exFAT daemon serving da0s2, mounted by the user: /dev/fuse and
        // the slice open, and both named on its command line.
        fake::processes = {{800, "mount.exfat", {{"/dev/fuse", "fuse"}, {"/dev/da0s2", "da0s2"}}, true,
                            {"/dev/da0s2", "/media/da0s2"}}};
        fake::owners = {{"/media/da0s2", 1001}};
        fake::spaces.clear();
        fake::devnames.clear();
        fake::numbers.clear();
        fake::usermount = 0;
        fake::euid = 1001; // a desktop user
        set_probe_runner(asks_directly);
        forget_fuse_links();
    }

    // Nothing the kernel's records were read into is kept.
    void cleanup()
    {
        QCOMPARE(fake::arrays_outstanding(), 0);
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
    // folder is the volume's only while its daemon reads the device.
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
        // the user may not see, but whose command line names the device:
        // unmounted, as a privileged helper can.
        QTest::newRow("its daemon root's") << QByteArray("r1w1e0 root") << true << QList<QByteArray>{"/media/da0s2"}
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
            fake::owners.clear();
        }
        fake::set_mode("da0s2", held);
        fake::set_node_mode("da0s2", held);
        if (held == "r0w0e0")
            fake::processes.clear();
        FakeHelper helper;
        helper.also = [&](const QByteArray &) {
            if (daemon_ends) {
                fake::set_mode("da0s2", "r0w0e0");
                fake::set_node_mode("da0s2", "r0w0e0");
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

    // The filesystem info report's question: statfs gives the size, what a
    // user may still write and the folder the filesystem is mounted on.
    // f_bavail is signed: below zero once the superuser has written into
    // the reserve, when a user may write nothing.
    void filesystem_usage_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("mounted_on");
        QTest::addColumn<quint64>("block_size");
        QTest::addColumn<quint64>("blocks");
        QTest::addColumn<quint64>("free_blocks");
        QTest::addColumn<qint64>("bavail");
        QTest::addColumn<quint64>("available");

        QTest::newRow("a file on a stick") << QByteArray("/media/da0s1/photos/a.jpg") << QByteArray("/media/da0s1")
                                           << quint64(32768) << quint64(244000) << quint64(100000)
                                           << qint64(100000) << quint64(100000);
        QTest::newRow("UFS: the reserve left out") << QByteArray("/media/BACKUP") << QByteArray("/media/BACKUP")
                                                   << quint64(4096) << quint64(7816064) << quint64(7800000)
                                                   << qint64(7174715) << quint64(7174715);
        QTest::newRow("UFS: the reserve in use") << QByteArray("/media/BACKUP") << QByteArray("/media/BACKUP")
                                                 << quint64(4096) << quint64(7816064) << quint64(312000)
                                                 << qint64(-313285) << quint64(0);
    }

    void filesystem_usage()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, mounted_on);
        QFETCH(quint64, block_size);
        QFETCH(quint64, blocks);
        QFETCH(quint64, free_blocks);
        QFETCH(qint64, bavail);
        QFETCH(quint64, available);

        fake::spaces = {{mounted_on, {block_size, blocks, free_blocks, bavail}}};
        FsUsage usage;
        QCOMPARE(fs_query(path.constData(), &usage), 0);
        QCOMPARE(QByteArray(usage.mounted_on), mounted_on);
        QCOMPARE(quint64(usage.block_size), block_size);
        QCOMPARE(quint64(usage.blocks), blocks);
        QCOMPARE(quint64(usage.free_blocks), free_blocks);
        QCOMPARE(quint64(usage.available_blocks), available);
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

    // An image on a FUSE filesystem is on da0 only when that filesystem's
    // daemon reads a device of da0. Beside da0's exFAT daemon runs an sshfs
    // one; both mounts show /dev/fuse.
    void images_on_fuse_filesystems_data()
    {
        QTest::addColumn<long>("daemons_user"); // who mounted both and runs their daemons
        QTest::addColumn<int>("see_other_uids");
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("answer"); // Placement::Answer

        const int elsewhere = Placement::elsewhere, on_it = Placement::on_it, cannot_tell = Placement::cannot_tell;
        QTest::newRow("on sshfs") << 1001L << 1 << QByteArray("/media/net/os.img") << elsewhere;
        QTest::newRow("on the exFAT slice") << 1001L << 1 << QByteArray("/media/da0s2/os.img") << on_it;
        // Root's daemons: their command lines show, their files do not.
        QTest::newRow("on the exFAT slice, root's daemon") << 0L << 1 << QByteArray("/media/da0s2/os.img") << on_it;
        QTest::newRow("on sshfs, root's daemon") << 0L << 1 << QByteArray("/media/net/os.img") << cannot_tell;
        // Nothing of root's shows: two mounts, one device read through
        // its node, and which of them reads it cannot be told.
        QTest::newRow("on sshfs, nothing of root's seen") << 0L << 0 << QByteArray("/media/net/os.img") << cannot_tell;
        // Another user's daemon that says it reads da0s2: another user's
        // filesystem, whatever it reads.
        QTest::newRow("on another user's exFAT") << 1002L << 1 << QByteArray("/media/da0s2/os.img") << elsewhere;
    }

    void images_on_fuse_filesystems()
    {
        QFETCH(long, daemons_user);
        QFETCH(int, see_other_uids);
        QFETCH(QByteArray, image);
        QFETCH(int, answer);

        fake::mounts = {{"/dev/ada0p2", "/"}, {"/dev/fuse", "/media/da0s2"}, {"/dev/fuse", "/media/net"}};
        fake::types = {{"/media/da0s2", "fusefs.exfat"}, {"/media/net", "fusefs.sshfs"}};
        const uid_t user = static_cast<uid_t>(daemons_user);
        fake::owners = {{"/media/da0s2", user}, {"/media/net", user}};
        fake::numbers = {{"security.bsd.see_other_uids", see_other_uids}};
        fake::processes = {
            program(800, "mount.exfat", {{"/dev/fuse", "fuse"}, {"/dev/da0s2", "da0s2"}}, {"/dev/da0s2", "/media/da0s2"}),
            program(900, "sshfs", {{"/dev/fuse", "fuse"}}, {"u@host:/srv", "/media/net"}),
        };
        for (fake::FakeProcess &p : fake::processes)
            p.owner = daemons_user;
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

    // Why Unmount failed, for the user: what holds the volume comes first;
    // that the user may not unmount it at all after it, or alone where
    // nothing but the mount holds it. A privileged helper may have failed
    // for the holder, an unprivileged one for the want of the right.
    void why_an_unmount_failed_data()
    {
        QTest::addColumn<int>("usermount");
        QTest::addColumn<int>("owner");
        QTest::addColumn<bool>("shell_inside");
        QTest::addColumn<QStringList>("lines"); // kind and what, in order

        const QString denied = QString("%1 /media/da0s1").arg(int(Holder::not_permitted));
        const QString mounted = QString("%1 /media/da0s1").arg(int(Holder::mounted_on));
        const QString shell = QString("%1 bash").arg(int(Holder::program));
        QTest::newRow("mounted by root, as the hook does") << 0 << 0 << false << QStringList{denied};
        QTest::newRow("mounted by root, a shell at work in it") << 0 << 0 << true << QStringList{shell, denied};
        QTest::newRow("mounted by the user, usermount on") << 1 << 1001 << false << QStringList{mounted};
        QTest::newRow("mounted by the user, a shell in it") << 1 << 1001 << true << QStringList{shell};
    }

    void why_an_unmount_failed()
    {
        QFETCH(int, usermount);
        QFETCH(int, owner);
        QFETCH(bool, shell_inside);
        QFETCH(QStringList, lines);

        fake::usermount = usermount;
        fake::owners = {{"/media/da0s1", static_cast<uid_t>(owner)}};
        if (shell_inside)
            fake::processes.append(program(1234, "bash", {{"/media/da0s1/photos", "", true}}));
        QStringList got;
        for (const Holder &h : why_still_held(volume_devices("/dev/da0s1"), "/media/da0s1", 1001))
            got << QString("%1 %2").arg(int(h.kind)).arg(QString::fromStdString(h.what));
        QCOMPARE(got, lines);
    }

    // --- what the system shows of other programs --------------------------

    // The kernel's rules, as a user and as root: which programs are listed,
    // whose command lines and files are shown, and which settings hide
    // them. What is not shown makes the view incomplete.
    void what_the_system_shows_data()
    {
        QTest::addColumn<int>("euid");
        QTest::addColumn<QString>("setting"); // set to 0; empty: none
        QTest::addColumn<long>("owner");      // whose the program is
        QTest::addColumn<bool>("changed_user");
        QTest::addColumn<bool>("shares_group");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<bool>("files_known");
        QTest::addColumn<bool>("complete");

        const QString uids = "security.bsd.see_other_uids", gids = "security.bsd.see_other_gids",
                      debug = "security.bsd.unprivileged_proc_debug";
        QTest::newRow("the user's own") << 1001 << "" << 1001L << false << true << true << true << true;
        QTest::newRow("root's, as the user") << 1001 << "" << 0L << false << true << true << false << false;
        QTest::newRow("root's, as root") << 0 << "" << 0L << false << true << true << true << true;
        QTest::newRow("the user's own that changed its user") << 1001 << "" << 1001L << true << true << true << false
                                                              << false;
        QTest::newRow("another user's, hidden") << 1001 << uids << 1002L << false << true << false << false << false;
        QTest::newRow("the user's own, others hidden") << 1001 << uids << 1001L << false << true << true << true
                                                       << false;
        QTest::newRow("of no group of the user's, hidden") << 1001 << gids << 0L << false << false << false << false
                                                           << false;
        QTest::newRow("the user's own, no program's files shown") << 1001 << debug << 1001L << false << true << true
                                                                  << false << false;
        QTest::newRow("as root, whatever is set") << 0 << uids << 1002L << true << false << true << true << true;
    }

    void what_the_system_shows()
    {
        QFETCH(int, euid);
        QFETCH(QString, setting);
        QFETCH(long, owner);
        QFETCH(bool, changed_user);
        QFETCH(bool, shares_group);
        QFETCH(bool, listed);
        QFETCH(bool, files_known);
        QFETCH(bool, complete);

        fake::euid = static_cast<uid_t>(euid);
        if (!setting.isEmpty())
            fake::numbers = {{setting.toStdString(), 0}};
        fake::processes = {program(800, "mount.exfat",
                                   {{"/dev/fuse", "fuse"}, {"/dev/da0s2", "da0s2"}, {"/media/da0s2", "", true}},
                                   {"-o", "ro", "/dev/da0s2", "/media/da0s2"})};
        fake::processes[0].owner = owner;
        fake::processes[0].changed_user = changed_user;
        fake::processes[0].shares_group = shares_group;

        ProcessView view;
        QVERIFY(list_open_files(&view));
        QCOMPARE(view.complete, complete);
        QCOMPARE(QString::fromStdString(view.hidden_by), euid == 0 || setting.isEmpty() ? QString() : setting + "=0");
        QCOMPARE(view.processes.size(), size_t(listed ? 1 : 0));
        if (!listed)
            return;
        const ProcessInfo &p = view.processes[0];
        QCOMPARE(p.pid, 800L);
        QCOMPARE(p.uid, static_cast<uid_t>(owner));
        QCOMPARE(QByteArray::fromStdString(p.command), QByteArray("mount.exfat"));
        QVERIFY(p.args_known);
        QCOMPARE(p.args, (std::vector<std::string>{"mount.exfat", "-o", "ro", "/dev/da0s2", "/media/da0s2"}));
        QCOMPARE(p.files_known, files_known);
        QStringList files;
        for (const OpenFile &f : view.files)
            files << QString("%1 %2 %3%4").arg(f.pid).arg(QString::fromStdString(f.path))
                         .arg(f.device ? "device " + QString::fromStdString(f.device_name) : QString())
                         .arg(f.working_dir ? "folder" : "");
        const QStringList all = {"800 /dev/fuse device fuse", "800 /dev/da0s2 device da0s2", "800 /media/da0s2 folder"};
        QCOMPARE(files, files_known ? all : QStringList());
    }

    // The kernel's list of a program's files asks each file's filesystem;
    // one that stopped answering holds it up for good. The listing is
    // given up on at its bound, not asked again at once, and every caller
    // still answers: nothing is taken for free, nor for another's.
    void a_listing_that_never_answers()
    {
        const int bound_ms = 300;
        set_probe_runner([=](const std::function<std::string()> &question, std::string *answer) {
            return bounded_query(question, bound_ms, answer);
        });
        fake::processes.append(program(900, "sh", {{"/media/da0s2/photos", "", true}}));
        fake::processes.last().hangs = true;

        QElapsedTimer clock;
        clock.start();
        ProcessView view;
        QVERIFY(!list_open_files(&view));
        QCOMPARE(errno, ETIMEDOUT);
        QVERIFY(clock.elapsed() < 5 * bound_ms);
        clock.restart();
        QVERIFY(!list_open_files(&view));
        QCOMPARE(errno, ETIMEDOUT);
        QVERIFY(clock.elapsed() < bound_ms / 2);
        usleep(2 * bound_ms * 1000);

        // The FUSE volume: not known to be the volume, nor another's; still
        // mounted; its holders not listed in time, which ends the wait.
        const DeviceSet volume = volume_devices("/dev/da0s2");
        const MountEntry fuse = {"/dev/fuse", "/media/da0s2", 0, "fusefs.exfat", 0, 0, "", 1001};
        QCOMPARE(static_cast<int>(mount_owner(fuse, volume)), static_cast<int>(Owner::unknown));
        QVERIFY(still_mounted("/media/da0s2", volume));
        usleep(2 * bound_ms * 1000);
        const std::vector<Holder> why = why_still_held(volume, "/media/da0s2", 1001);
        QVERIFY(!why.empty());
        QCOMPARE(static_cast<int>(why.front().kind), static_cast<int>(Holder::unlisted));
        usleep(2 * bound_ms * 1000);
        FakeHelper helper;
        clock.restart();
        QCOMPARE(release_volume("/media/da0s2", volume, helper.as_function(), 5000), Release::busy);
        QVERIFY(clock.elapsed() < 4000);
        usleep(2 * bound_ms * 1000); // as the next test would ask
    }

    // --- FUSE mounts and the devices their daemons read -------------------

    // Two USB sticks served by FUSE daemons, da0s1 (exFAT) and da1p1
    // (NTFS); every FUSE mount shows /dev/fuse. A link only where the
    // system tells, never a false one.
    void fuse_mounts_linked_data()
    {
        QTest::addColumn<QStringList>("mounts"); // FUSE mounts: "folder user"
        QTest::addColumn<QList<Daemon>>("daemons");
        QTest::addColumn<int>("see_other_uids");
        QTest::addColumn<QStringList>("closed"); // providers no program has open through their node
        QTest::addColumn<QStringList>("links");  // per mount, as fuse_links_now() says

        const Daemon exfat{800, "mount.exfat", "da0s1", "/media/da0s1", 0};
        const Daemon ntfs{801, "ntfs-3g", "da1p1", "/media/da1p1", 0};
        Daemon exfat_user = exfat, ntfs_user = ntfs;
        exfat_user.user = ntfs_user.user = 1001;
        const QStringList both = {"/media/da0s1 0", "/media/da1p1 0"};

        QTest::newRow("two sticks at once, root's daemons by their command lines")
            << both << QList<Daemon>{exfat, ntfs} << 1 << QStringList{} << QStringList{"da0s1 0", "da1p1 0"};
        QTest::newRow("two sticks at once, the user's daemons")
            << QStringList{"/media/da0s1 1001", "/media/da1p1 1001"} << QList<Daemon>{exfat_user, ntfs_user} << 1
            << QStringList{} << QStringList{"da0s1 1001", "da1p1 1001"};
        Daemon unnamed = exfat_user;
        unnamed.named = false;
        QTest::newRow("the user's daemon, by what it holds") << QStringList{"/media/da0s1 1001"} << QList<Daemon>{unnamed}
                                                             << 1 << QStringList{"da1p1"} << QStringList{"da0s1 1001"};
        const Daemon sshfs{900, "sshfs", "", "/media/net", 1001};
        QTest::newRow("sshfs, the user's: no device") << QStringList{"/media/net 1001"} << QList<Daemon>{sshfs} << 1
                                                      << QStringList{} << QStringList{"unlinked 1001"};
        // see_other_uids=0: root's daemons are not listed at all.
        QTest::newRow("a daemon unseen: the one open through its node")
            << QStringList{"/media/da0s1 0"} << QList<Daemon>{exfat} << 0 << QStringList{"da1p1"}
            << QStringList{"da0s1 0"};
        QTest::newRow("two daemons unseen: which is which cannot be told")
            << both << QList<Daemon>{exfat, ntfs} << 0 << QStringList{} << QStringList{"unknown", "unknown"};
        QTest::newRow("nothing read through a node: no device")
            << QStringList{"/media/net 0"} << QList<Daemon>{} << 0 << QStringList{"da0s1", "da1p1"}
            << QStringList{"unlinked 0"};
        QTest::newRow("a daemon that names a device nothing reads")
            << QStringList{"/media/da0s1 0"} << QList<Daemon>{exfat} << 1 << QStringList{"da0s1", "da1p1"}
            << QStringList{"unknown"};
        // Another user's daemon may have the user's stick open (the devfs
        // rule gives its group the node) and serve anything under its name.
        const Daemon eve{902, "mount.exfat", "da0s1", "/home/eve/mnt", 1002};
        QTest::newRow("another user's daemon on the user's stick")
            << QStringList{"/media/da0s1 0", "/home/eve/mnt 1002"} << QList<Daemon>{exfat, eve} << 1
            << QStringList{"da1p1"} << QStringList{"da0s1 0", "da0s1 1002"};
        Daemon setuid = ntfs;
        setuid.started_by = 1002;
        QTest::newRow("a set-user-id daemon another user started")
            << QStringList{"/media/da1p1 0"} << QList<Daemon>{setuid} << 1 << QStringList{"da0s1"}
            << QStringList{"da1p1 1002"};
        const Daemon stranger{903, "sleep", "da1p1", "/media/da0s1", 1002};
        QTest::newRow("a stranger's program naming the folder")
            << QStringList{"/media/da0s1 0"} << QList<Daemon>{exfat, stranger} << 1 << QStringList{}
            << QStringList{"da0s1 0"};
        QTest::newRow("two FUSE mounts on one folder")
            << QStringList{"/media/da0s1 0", "/media/da0s1 0"} << QList<Daemon>{exfat} << 1 << QStringList{"da1p1"}
            << QStringList{"unknown", "unknown"};
    }

    void fuse_mounts_linked()
    {
        QFETCH(QStringList, mounts);
        QFETCH(QList<Daemon>, daemons);
        QFETCH(int, see_other_uids);
        QFETCH(QStringList, closed);
        QFETCH(QStringList, links);

        fake::tree = fake::tree_file("two-fuse-sticks.xml");
        for (const QString &provider : closed)
            fake::set_node_mode(provider.toUtf8(), "r0w0e0");
        fake::mounts = {{"/dev/ada0p2", "/"}};
        fake::types.clear();
        fake::owners.clear();
        for (const QString &m : mounts) {
            const QByteArray dir = m.section(' ', 0, 0).toUtf8();
            fake::mounts.append({"/dev/fuse", dir});
            fake::types.append({dir, "fusefs"});
            fake::owners.append({dir, static_cast<uid_t>(m.section(' ', 1).toUInt())});
        }
        fake::numbers = {{"security.bsd.see_other_uids", see_other_uids}};
        fake::processes.clear();
        for (const Daemon &d : daemons)
            fake::processes.append(daemon_process(d));
        QCOMPARE(fuse_links_now(), links);
    }

    // Daemons the system does not show, sticks mounted one after another:
    // each link the GEOM tree told is kept while its mount and its open
    // last, so the second stick is told from the first.
    void unseen_daemons_one_after_another()
    {
        fake::tree = fake::tree_file("two-fuse-sticks.xml");
        fake::set_node_mode("da0s1", "r0w0e0");
        fake::set_node_mode("da1p1", "r0w0e0");
        fake::numbers = {{"security.bsd.see_other_uids", 0}};
        fake::processes = {daemon_process({800, "mount.exfat", "da0s1", "/media/da0s1", 0}),
                           daemon_process({801, "ntfs-3g", "da1p1", "/media/da1p1", 0})};
        fake::mounts = {{"/dev/ada0p2", "/"}};
        fake::types = {{"/media/da0s1", "fusefs.exfat"}, {"/media/da1p1", "fusefs.ntfs"}};
        fake::owners.clear();

        fake::set_node_mode("da0s1", "r1w1e0");
        fake::mounts.append(qMakePair(QByteArray("/dev/fuse"), QByteArray("/media/da0s1")));
        QCOMPARE(fuse_links_now(), (QStringList{"da0s1 0"}));
        fake::set_node_mode("da1p1", "r1w1e0");
        fake::mounts.append(qMakePair(QByteArray("/dev/fuse"), QByteArray("/media/da1p1")));
        QCOMPARE(fuse_links_now(), (QStringList{"da0s1 0", "da1p1 0"}));
        // A program that starts now sees two at once.
        forget_fuse_links();
        QCOMPARE(fuse_links_now(), (QStringList{"unknown", "unknown"}));
        // The first one goes: the other is the one left.
        fake::mounts.removeAt(1);
        fake::set_node_mode("da0s1", "r0w0e0");
        QCOMPARE(fuse_links_now(), (QStringList{"da1p1 0"}));
    }

    // Hardened systems (bsdinstall offers these settings) and a daemon that
    // changed its user: what holds the exFAT volume cannot all be seen. It
    // is never taken for another's, nor for free, and what the user is told
    // names the setting.
    void hardened_systems_data()
    {
        QTest::addColumn<QString>("setting"); // set to 0; empty: none
        QTest::addColumn<bool>("roots");      // the daemon is root's, the mount too (a devd hook's)
        QTest::addColumn<bool>("changed_user");
        QTest::addColumn<int>("first_kind");  // what the user is told first
        QTest::addColumn<QString>("first_what");

        const int hidden = Holder::hidden, named = Holder::program;
        QTest::newRow("see_other_uids=0") << "security.bsd.see_other_uids" << true << false << hidden
                                          << "security.bsd.see_other_uids=0";
        QTest::newRow("see_other_gids=0") << "security.bsd.see_other_gids" << true << false << hidden
                                          << "security.bsd.see_other_gids=0";
        // Its command line still shows, which names it.
        QTest::newRow("unprivileged_proc_debug=0") << "security.bsd.unprivileged_proc_debug" << false << false << named
                                                   << "mount.exfat";
        QTest::newRow("a daemon that changed its user") << "" << false << true << named << "mount.exfat";
    }

    void hardened_systems()
    {
        QFETCH(QString, setting);
        QFETCH(bool, roots);
        QFETCH(bool, changed_user);
        QFETCH(int, first_kind);
        QFETCH(QString, first_what);

        if (!setting.isEmpty())
            fake::numbers = {{setting.toStdString(), 0}};
        fake::processes[0].changed_user = changed_user;
        fake::processes[0].shares_group = false;
        if (roots) {
            fake::processes[0].visible = false;
            fake::owners.clear();
        } else {
            fake::usermount = 1;
        }
        ProcessView view;
        QVERIFY(list_open_files(&view));
        QVERIFY(!view.complete);

        const DeviceSet volume = volume_devices("/dev/da0s2");
        std::vector<MountEntry> mounts;
        QVERIFY(list_mounts(&mounts));
        for (const MountEntry &m : mounts)
            if (m.dir == "/media/da0s2")
                QVERIFY(mount_owner(m, volume) != Owner::other);
        QVERIFY(still_mounted("/media/da0s2", volume));
        QVERIFY(!devices_released(volume));

        const std::vector<Holder> why = why_still_held(volume, "/media/da0s2", 1001);
        QVERIFY(!why.empty());
        QCOMPARE(static_cast<int>(why.front().kind), first_kind);
        QCOMPARE(QString::fromStdString(why.front().what), first_what);
        // A devd hook's mount: the user may not unmount it, which comes last.
        QCOMPARE(why.back().kind == Holder::not_permitted, roots);

        // Unmounted, its daemon still holds the slice: not free.
        fake::mounts.removeAll({"/dev/fuse", "/media/da0s2"});
        QVERIFY(!devices_released(disk_devices("/dev/da0s2")));
        QVERIFY(!still_mounted("/media/da0s2", volume));
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
