// The mount watcher's FreeBSD branch on fakes of its calls: kqueue's
// EVFILT_FS news of mounts, and which disks count as removable, from GEOM
// trees and the da driver's flags.
#include "freebsd/fakes.h"
#include "freebsd/watch_fakes.h"
#include "platform/mount_events.h"
#include "platform/removable_disks.h"
#include "watch/volume_watcher.h"

#include <sys/param.h>
#include <sys/ucred.h>
#include <sys/mount.h>

#include <QtTest>

#include <errno.h>

namespace {

struct kevent news(short filter, unsigned int fflags, uintptr_t ident = 0, unsigned short flags = 0)
{
    struct kevent e;
    EV_SET(&e, ident, filter, flags, fflags, 0, nullptr);
    return e;
}

} // namespace

class TestFreebsdWatch : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fake::kqueue_error = 0;
        fake::changes.clear();
        fake::batches.clear();
    }

    void listens_for_mounts_and_unmounts()
    {
        MountEvents events;
        QVERIFY(events.open());
        QCOMPARE(fake::changes.size(), size_t(1));
        QCOMPARE(fake::changes[0].filter, short(EVFILT_FS));
        QCOMPARE(fake::changes[0].flags & (EV_ADD | EV_CLEAR), EV_ADD | EV_CLEAR);
    }

    void no_kqueue()
    {
        fake::kqueue_error = EMFILE;
        MountEvents events;
        QVERIFY(!events.open());
        QCOMPARE(errno, EMFILE);
    }

    // Taken in by an event loop that watches the kqueue itself: every batch
    // pending is read, without ever sleeping, and only a mount or an
    // unmount among them is news.
    void takes_news_without_waiting_data()
    {
        QTest::addColumn<QList<QList<int>>>("news"); // batches of {filter, fflags}
        QTest::addColumn<bool>("changed");

        const int fs = EVFILT_FS;
        using B = QList<QList<int>>;
        QTest::newRow("an unmount") << B{{fs, VQ_UNMOUNT}} << true;
        QTest::newRow("a mount after other news, in a later batch") << B{{fs, VQ_LOWDISK}, {fs, VQ_MOUNT}} << true;
        QTest::newRow("only a filesystem not answering") << B{{fs, VQ_NOTRESP}, {fs, VQ_LOWDISK}} << false;
        QTest::newRow("nothing pending") << B{} << false;
    }

    void takes_news_without_waiting()
    {
        QFETCH(QList<QList<int>>, news);
        QFETCH(bool, changed);
        for (const QList<int> &e : news)
            fake::batches.push_back({::news(short(e[0]), unsigned(e[1]))});
        fake::limits.clear();
        MountEvents events;
        QVERIFY(events.open());
        QVERIFY(events.descriptor() >= 0);
        QVERIFY(!MountEvents::news_is_priority());
        QCOMPARE(events.take_news(), changed);
        QVERIFY(fake::batches.empty());
        // Each read asked for what is pending now, with no time to wait.
        QVERIFY(!fake::limits.empty());
        for (long long limit : fake::limits)
            QCOMPARE(limit, 0LL);
    }

    // What a wait returns for the batches kevent() hands it; with none left
    // the fake fails as a signal would, which ends the wait.
    void wakes_data()
    {
        // events as {batch, filter, fflags, ident, flags}: each kevent() call
        // returns one batch
        QTest::addColumn<QList<QList<int>>>("news");
        QTest::addColumn<int>("wake");
        QTest::addColumn<int>("error");

        const int fs = EVFILT_FS, rd = EVFILT_READ;
        using B = QList<QList<int>>;
        QTest::newRow("a mount") << B{{0, fs, VQ_MOUNT, 0, 0}} << int(MountEvents::mounts_changed) << 0;
        QTest::newRow("an unmount") << B{{0, fs, VQ_UNMOUNT, 0, 0}} << int(MountEvents::mounts_changed) << 0;
        QTest::newRow("a child ended") << B{{0, rd, 0, 7, 0}} << int(MountEvents::fd_readable) << 0;
        QTest::newRow("both at once") << B{{0, fs, VQ_MOUNT, 0, 0}, {0, rd, 0, 7, 0}}
                                      << int(MountEvents::mounts_changed | MountEvents::fd_readable) << 0;
        // Other news of filesystems is slept through.
        QTest::newRow("low on space, then a mount")
            << B{{0, fs, VQ_LOWDISK, 0, 0}, {1, fs, VQ_NOTRESP | VQ_MOUNT, 0, 0}} << int(MountEvents::mounts_changed) << 0;
        QTest::newRow("only low on space") << B{{0, fs, VQ_LOWDISK, 0, 0}} << 0 << EINTR;
        QTest::newRow("another descriptor") << B{{0, rd, 0, 8, 0}} << 0 << EINTR;
        QTest::newRow("the pipe could not be registered") << B{{0, rd, 0, 7, EV_ERROR}} << 0 << EBADF;
    }

    void wakes()
    {
        QFETCH(QList<QList<int>>, news);
        QFETCH(int, wake);
        QFETCH(int, error);
        for (const QList<int> &e : news) {
            struct kevent k = ::news(short(e[1]), unsigned(e[2]), uintptr_t(e[3]), (unsigned short)e[4]);
            if (e[4] & EV_ERROR)
                k.data = EBADF;
            if (size_t(e[0]) == fake::batches.size())
                fake::batches.emplace_back();
            fake::batches.back().push_back(k);
        }
        MountEvents events;
        QVERIFY(events.open());
        errno = 0;
        QCOMPARE(events.wait(7), wake);
        if (wake == 0)
            QCOMPARE(errno, error);
    }

    // The caller's descriptor is registered once, with the first wait.
    void registers_the_descriptor_once()
    {
        MountEvents events;
        QVERIFY(events.open());
        fake::batches = {{news(EVFILT_FS, VQ_MOUNT)}, {news(EVFILT_FS, VQ_UNMOUNT)}};
        QCOMPARE(events.wait(7), int(MountEvents::mounts_changed));
        QCOMPARE(events.wait(7), int(MountEvents::mounts_changed));
        int reads = 0;
        for (const struct kevent &c : fake::changes)
            if (c.filter == EVFILT_READ) {
                ++reads;
                QCOMPARE(c.ident, uintptr_t(7));
                QVERIFY(c.flags & EV_ADD);
            }
        QCOMPARE(reads, 1);
    }

    // --- removable, as GEOM and the da driver tell -----------------------

    void removable_providers_data()
    {
        QTest::addColumn<QByteArray>("provider");
        QTest::addColumn<bool>("removable");

        QTest::newRow("a USB stick's slice") << QByteArray("da0s1") << true;
        QTest::newRow("its label, through LABEL and PART") << QByteArray("msdosfs/STICK") << true;
        QTest::newRow("the stick itself") << QByteArray("da0") << true;
        QTest::newRow("ELI on a disk the driver calls removable") << QByteArray("da1p1.eli") << true;
        QTest::newRow("a removable medium, as its driver says") << QByteArray("da2p1") << true;
        QTest::newRow("a fixed medium") << QByteArray("da3p1") << false;
        QTest::newRow("a fixed medium, even through USB") << QByteArray("da4p1") << false;
        QTest::newRow("an SD card through mmcsd") << QByteArray("mmcsd0s1") << true;
        QTest::newRow("an SD card through CAM, under NOP") << QByteArray("sdda0p1.nop") << true;
        QTest::newRow("a mirror of two sticks is not followed") << QByteArray("mirror/gm0") << false;
        QTest::newRow("a memory disk") << QByteArray("md0") << false;
        QTest::newRow("the internal disk") << QByteArray("ada0p2") << false;
        QTest::newRow("no such provider") << QByteArray("da9s1") << false;
    }

    void removable_providers()
    {
        QFETCH(QByteArray, provider);
        QFETCH(bool, removable);
        fake::tree = fake::tree_file("removable-disks.xml");
        QVERIFY(!fake::tree.isEmpty());
        fake::sysctls = {{"kern.cam.da.0.flags", "0x118<PACK_REMOVABLE,OPEN,SCTX_INIT>"},
                         {"kern.cam.da.1.flags", "0x119<PACK_REMOVABLE,ROTATING,OPEN,SCTX_INIT>"},
                         {"kern.cam.da.2.flags", "0x119<PACK_REMOVABLE,ROTATING,OPEN,SCTX_INIT>"},
                         {"kern.cam.da.3.flags", "0x330<ROTATING,OPEN,SCTX_INIT,CAN_RC16>"},
                         {"kern.cam.da.4.flags", "0x110<ROTATING,OPEN>"}};
        QCOMPARE(geom_provider_removable(provider.toStdString()), removable);
        QCOMPARE(fake::trees_alive(), 0);
    }

    void unreadable_tree()
    {
        fake::tree.clear();
        QVERIFY(!geom_provider_removable("da0s1"));
        QCOMPARE(fake::trees_alive(), 0);
    }

    // A mount's device is the provider its source names under /dev.
    void device_of_a_mount_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<bool>("removable");

        QTest::newRow("a node in /dev") << QByteArray("/dev/da0s1") << true;
        QTest::newRow("a label's node") << QByteArray("/dev/msdosfs/STICK") << true;
        QTest::newRow("a FUSE mount without its device's name") << QByteArray("/dev/fuse") << false;
        QTest::newRow("a name outside /dev") << QByteArray("da0s1") << false;
        QTest::newRow("a way out of /dev and back") << QByteArray("/dev/../dev/da0s1") << false;
        QTest::newRow("a dataset") << QByteArray("zroot/home") << false;
    }

    void device_of_a_mount()
    {
        QFETCH(QByteArray, source);
        QFETCH(bool, removable);
        fake::tree = fake::tree_file("removable-disks.xml");
        fake::sysctls = {{"kern.cam.da.0.flags", "0x118<PACK_REMOVABLE,OPEN,SCTX_INIT>"}};
        MountEntry m;
        m.source = source.toStdString();
        m.dir = "/media/stick";
        m.dev = 0;
        m.type = "msdosfs";
        QCOMPARE(mount_on_removable_disk(m, "/sys"), removable);
    }

    // One window per volume, whatever names it is mounted under: a
    // partition and its label are one volume, and a second mount of it
    // through the other name opens none.
    void a_volume_under_its_label_and_its_own_name()
    {
        fake::tree = fake::tree_file("removable-disks.xml");
        const auto entry = [](const char *source, const char *dir) {
            MountEntry m;
            m.source = source;
            m.dir = dir;
            m.type = "msdosfs";
            return m;
        };
        VolumeWatcher watcher([](const MountEntry &) { return true; });
        std::vector<MountEntry> table = {entry("/dev/ada0p2", "/")};
        watcher.begin(table);
        table.push_back(entry("/dev/msdosfs/STICK", "/media/stick"));
        QCOMPARE(watcher.update(table).size(), size_t(1));
        table.push_back(entry("/dev/da0s1", "/media/again"));
        QCOMPARE(watcher.update(table).size(), size_t(0));
        // Gone under both names, then back: a new window.
        table.resize(1);
        QCOMPARE(watcher.update(table).size(), size_t(0));
        table.push_back(entry("/dev/da0s1", "/media/stick"));
        QCOMPARE(watcher.update(table).size(), size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestFreebsdWatch)
#include "test_freebsd_watch.moc"
