// The FreeBSD branch of the platform layer, built on Linux: GEOM trees and
// the mount table come from fakes of libgeom, getmntinfo and statfs fed
// from the trees in tests/freebsd/geom and from tables.
#include "actions/release_mounts.h"
#include "platform/disk_devices.h"
#include "platform/mount_table.h"

#include <libgeom.h>
#include <sys/param.h>
#include <sys/mount.h>

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>

#include <errno.h>
#include <string.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

using Mounts = QList<QPair<QByteArray, QByteArray>>; // mounted from, mounted on

namespace fake {

QByteArray tree;       // the GEOM tree now, as the kernel would dump it; empty: unreadable
Mounts mounts;         // the mount table now, oldest first
std::vector<struct statfs> table;

QByteArray tree_file(const QString &name)
{
    QFile f(QStringLiteral(VORLIX_GEOM_TREES "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sets a provider's open count, as opening or closing it would.
void set_mode(const QByteArray &provider, const QByteArray &mode)
{
    const QString pattern = "<mode>r\\d+w\\d+e\\d+</mode>(\\s*<name>" + QRegularExpression::escape(provider) + "</name>)";
    tree = QString::fromUtf8(tree).replace(QRegularExpression(pattern), "<mode>" + mode + "</mode>\\1").toUtf8();
}

void fill(struct statfs *s, const QPair<QByteArray, QByteArray> &m)
{
    memset(s, 0, sizeof *s);
    strncpy(s->f_mntfromname, m.first.constData(), MNAMELEN - 1);
    strncpy(s->f_mntonname, m.second.constData(), MNAMELEN - 1);
}

// What libgeom builds from the dump: the tree, owning its storage.
struct Arena {
    std::deque<gclass> classes;
    std::deque<ggeom> geoms;
    std::deque<gconsumer> consumers;
    std::deque<gprovider> providers;
    std::deque<std::string> strings;

    char *text(const QString &s)
    {
        strings.push_back(s.toStdString());
        return &strings.back()[0];
    }
};
std::map<gmesh *, std::unique_ptr<Arena>> arenas;

bool build(gmesh *mesh, Arena *a)
{
    LIST_INIT(&mesh->lg_class);
    mesh->lg_ident = nullptr;
    std::map<QString, gprovider *> provider_by_id;
    std::vector<std::pair<gconsumer *, QString>> consumer_refs;
    gclass *cls = nullptr;
    ggeom *geom = nullptr;
    gconsumer *cons = nullptr;
    gprovider *prov = nullptr;
    QStringList open; // the elements entered and not yet left

    QXmlStreamReader x(tree);
    while (!x.atEnd()) {
        x.readNext();
        if (x.isEndElement()) {
            const QString done = open.takeLast();
            if (done == "consumer")
                cons = nullptr;
            else if (done == "provider")
                prov = nullptr;
            else if (done == "geom")
                geom = nullptr;
            continue;
        }
        if (!x.isStartElement())
            continue;
        const QString tag = x.name().toString();
        const QString id = x.attributes().value("id").toString();
        const QString ref = x.attributes().value("ref").toString();
        if (tag == "config") {
            x.skipCurrentElement();
            continue;
        }
        if (tag == "name" || tag == "rank" || tag == "mode") {
            const QString value = x.readElementText();
            if (tag == "rank" && geom != nullptr)
                geom->lg_rank = value.toUInt();
            else if (tag == "mode")
                (prov != nullptr ? prov->lg_mode : cons->lg_mode) = a->text(value);
            else if (prov != nullptr)
                prov->lg_name = a->text(value);
            else if (geom != nullptr && cons == nullptr)
                geom->lg_name = a->text(value);
            else if (geom == nullptr && cls != nullptr)
                cls->lg_name = a->text(value);
            continue;
        }
        open.append(id.isEmpty() ? "ref" : tag);
        if (tag == "class" && !id.isEmpty()) {
            a->classes.emplace_back();
            cls = &a->classes.back();
            memset(cls, 0, sizeof *cls);
            LIST_INIT(&cls->lg_geom);
            LIST_INSERT_HEAD(&mesh->lg_class, cls, lg_class);
        } else if (tag == "geom" && !id.isEmpty()) {
            a->geoms.emplace_back();
            geom = &a->geoms.back();
            memset(geom, 0, sizeof *geom);
            geom->lg_class = cls;
            LIST_INIT(&geom->lg_consumer);
            LIST_INIT(&geom->lg_provider);
            LIST_INSERT_HEAD(&cls->lg_geom, geom, lg_geom);
        } else if (tag == "consumer") {
            a->consumers.emplace_back();
            cons = &a->consumers.back();
            memset(cons, 0, sizeof *cons);
            cons->lg_geom = geom;
            LIST_INSERT_HEAD(&geom->lg_consumer, cons, lg_consumer);
        } else if (tag == "provider" && !id.isEmpty()) {
            a->providers.emplace_back();
            prov = &a->providers.back();
            memset(prov, 0, sizeof *prov);
            prov->lg_geom = geom;
            LIST_INIT(&prov->lg_consumers);
            LIST_INSERT_HEAD(&geom->lg_provider, prov, lg_provider);
            provider_by_id[id] = prov;
        } else if (tag == "provider" && cons != nullptr) {
            consumer_refs.emplace_back(cons, ref);
        }
    }
    if (x.hasError())
        return false;
    for (auto &[c, r] : consumer_refs) {
        c->lg_provider = provider_by_id.at(r);
        LIST_INSERT_HEAD(&c->lg_provider->lg_consumers, c, lg_consumers);
    }
    return true;
}

} // namespace fake

extern "C" int geom_gettree(struct gmesh *gmp)
{
    auto arena = std::make_unique<fake::Arena>();
    if (fake::tree.isEmpty() || !fake::build(gmp, arena.get()))
        return ENXIO;
    fake::arenas[gmp] = std::move(arena);
    return 0;
}

extern "C" void geom_deletetree(struct gmesh *gmp)
{
    fake::arenas.erase(gmp);
}

extern "C" int getmntinfo(struct statfs **mntbufp, int)
{
    fake::table.resize(static_cast<size_t>(fake::mounts.size()));
    for (int i = 0; i < fake::mounts.size(); ++i)
        fake::fill(&fake::table[static_cast<size_t>(i)], fake::mounts[i]);
    *mntbufp = fake::table.data();
    return fake::mounts.size();
}

// The filesystem holding path: the newest mount on the longest folder above it.
extern "C" int statfs(const char *path, struct statfs *buf)
{
    const QByteArray p = path;
    int best = -1;
    for (int i = 0; i < fake::mounts.size(); ++i) {
        const QByteArray &on = fake::mounts[i].second;
        const bool holds = on == "/" || p == on || p.startsWith(on + '/');
        if (holds && (best < 0 || on.size() >= fake::mounts[best].second.size()))
            best = i;
    }
    if (best < 0) {
        errno = ENOENT;
        return -1;
    }
    fake::fill(buf, fake::mounts[best]);
    return 0;
}

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
    // mount cannot be told; the system disk's never.
    void mounts_of_a_disk_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QList<int>>("owners"); // per entry of the desktop table: 0 other, 1 member, 2 unknown

        QTest::newRow("da0") << QByteArray("/dev/da0s1") << QList<int>{0, 0, 1, 2, 0, 0};
        QTest::newRow("da1, mounted through its label") << QByteArray("/dev/da1p1") << QList<int>{0, 0, 0, 2, 1, 0};
        QTest::newRow("the system disk") << QByteArray("/dev/ada0p2") << QList<int>{1, 0, 0, 2, 0, 0};
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
        QTest::newRow("a FUSE-held slice blocks the job")
            << QByteArray("/dev/da0s1") << Mounts{} << false << QList<QByteArray>{"/media/da0s1"} << busy;
        QTest::newRow("once the daemon lets go, the disk is free")
            << QByteArray("/dev/da0s1") << Mounts{} << true << QList<QByteArray>{"/media/da0s1"} << done;
        QTest::newRow("a stick mounted through its label and its partition")
            << QByteArray("/dev/gpt/BACKUP") << Mounts{{"/dev/da1p1", "/mnt/backup2"}} << false
            << QList<QByteArray>{"/media/BACKUP", "/mnt/backup2"} << done;
        QTest::newRow("deepest first, the system disk untouched")
            << QByteArray("/dev/da0s2") << Mounts{{"/dev/da0s1", "/media/da0s1/in"}, {"/dev/ada0p2", "/media/sys"}}
            << true << QList<QByteArray>{"/media/da0s1/in", "/media/da0s1"} << done;
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
            if (daemon_ends && !fake::mounts.contains({"/dev/da0s1", "/media/da0s1"}))
                fake::set_mode("da0", "r0w0e0");
            if (!fake::mounts.contains({"/dev/gpt/BACKUP", "/media/BACKUP"})
                && !fake::mounts.contains({"/dev/da1p1", "/mnt/backup2"}))
                fake::set_mode("da1", "r0w0e0");
        };
        const Release got = release_disk(disk, helper.as_function(), 300);
        QCOMPARE(helper.calls, unmounted);
        QCOMPARE(static_cast<int>(got), result);
    }

    // The Unmount button on a volume a FUSE daemon serves: the mount on the
    // folder is taken for the volume's only while its device is held.
    void unmounting_a_fuse_volume_data()
    {
        QTest::addColumn<QByteArray>("held"); // the volume's mode
        QTest::addColumn<bool>("daemon_ends");
        QTest::addColumn<QList<QByteArray>>("unmounted");
        QTest::addColumn<int>("result");

        QTest::newRow("held, then let go") << QByteArray("r1w1e0") << true << QList<QByteArray>{"/media/da0s2"}
                                           << static_cast<int>(Release::done);
        QTest::newRow("held for good") << QByteArray("r1w1e0") << false << QList<QByteArray>{"/media/da0s2"}
                                       << static_cast<int>(Release::busy);
        QTest::newRow("not held: not the volume's") << QByteArray("r0w0e0") << false << QList<QByteArray>{}
                                                    << static_cast<int>(Release::busy);
    }

    void unmounting_a_fuse_volume()
    {
        QFETCH(QByteArray, held);
        QFETCH(bool, daemon_ends);
        QFETCH(QList<QByteArray>, unmounted);
        QFETCH(int, result);

        fake::set_mode("da0s2", held);
        FakeHelper helper;
        helper.also = [&](const QByteArray &) {
            if (daemon_ends)
                fake::set_mode("da0s2", "r0w0e0");
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

        QCOMPARE(path_on_devices(path.constData(), disk_devices(device.constData())), on_disk);
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
};

QTEST_APPLESS_MAIN(TestFreeBsdDisks)
#include "test_freebsd_disks.moc"
