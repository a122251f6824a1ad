// The mount watcher's FreeBSD branch on fakes of its calls: kqueue's
// EVFILT_FS news of mounts, and which disks count as removable, from GEOM
// trees, the da driver's flags, the disks' nodes and the mount table.
#include "freebsd/fakes.h"
#include "freebsd/watch_fakes.h"
#include "platform/fs_probe.h"
#include "platform/mount_events.h"
#include "platform/removable_disks.h"
#include "watch/volume_watcher.h"

#include <sys/param.h>
#include <sys/ucred.h>
#include <sys/mount.h>

#include <QtTest>

#include <errno.h>
#include <fcntl.h>

namespace {

struct kevent news(short filter, unsigned int fflags, uintptr_t ident = 0, unsigned short flags = 0)
{
    struct kevent e;
    EV_SET(&e, ident, filter, flags, fflags, 0, nullptr);
    return e;
}

// The da driver's flags as the kernel prints them (sysctl
// kern.cam.da.N.flags, its %b): the number, then the names of its bits.
const QByteArray stick = "0x2b18<PACK_REMOVABLE,ROTATING,OPEN,SCTX_INIT,PROBED,ANNOUNCED>";
const QByteArray dirty_stick = "0x3b18<PACK_REMOVABLE,ROTATING,OPEN,SCTX_INIT,PROBED,DIRTY,ANNOUNCED>";
const QByteArray card_reader = "0x2b1c<PACK_LOCKED,PACK_REMOVABLE,ROTATING,OPEN,SCTX_INIT,PROBED,ANNOUNCED>";
const QByteArray sas_disk = "0x302f10<ROTATING,OPEN,SCTX_INIT,CAN_RC16,PROBED,ANNOUNCED,UNMAPPEDIO,LBP>";
const QByteArray removable_on_sas =
    "0x302f18<PACK_REMOVABLE,ROTATING,OPEN,SCTX_INIT,CAN_RC16,PROBED,ANNOUNCED,UNMAPPEDIO,LBP>";
const QByteArray usb_ssd = "0x2f00<OPEN,SCTX_INIT,CAN_RC16,PROBED,ANNOUNCED>";
const QByteArray vtscsi = "0x102b10<ROTATING,OPEN,SCTX_INIT,PROBED,ANNOUNCED,UNMAPPEDIO>";

// Every disk node opened was opened for reading only, which never has GEOM
// taste the disk again, and closed again.
void opened_for_reading_only()
{
    for (const fake::Opened &o : fake::opened) {
        QCOMPARE(o.flags & O_ACCMODE, O_RDONLY);
        QCOMPARE(fcntl(o.fd, F_GETFD), -1);
    }
}

// The mount table as the watcher's caller reads it.
std::vector<MountEntry> table()
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        qFatal("the fake mount table could not be read");
    return mounts;
}

// What the program does without a bound: asks the question itself.
bool asks_directly(const std::function<std::string()> &question, std::string *answer)
{
    *answer = question();
    return true;
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
        fake::tree = fake::tree_file("removable-disks.xml");
        QVERIFY(!fake::tree.isEmpty());
        fake::sysctls = {{"kern.cam.da.0.flags", stick.toStdString()},
                         {"kern.cam.da.1.flags", dirty_stick.toStdString()},
                         {"kern.cam.da.2.flags", card_reader.toStdString()},
                         {"kern.cam.da.3.flags", sas_disk.toStdString()},
                         {"kern.cam.da.4.flags", usb_ssd.toStdString()},
                         {"kern.cam.da.5.flags", stick.toStdString()},
                         {"kern.cam.da.6.flags", stick.toStdString()},
                         {"kern.cam.da.7.flags", stick.toStdString()}};
        fake::nodes = {{"/dev/da0", {0, "umass-sim0", 0}}, {"/dev/da1", {EACCES, "umass-sim1", 0}},
                       {"/dev/da2", {0, "umass-sim2", 0}}, {"/dev/da3", {0, "mpr0", 0}},
                       {"/dev/da4", {0, "umass-sim3", 0}}, {"/dev/da5", {0, "umass-sim4", 0}},
                       {"/dev/da6", {0, "umass-sim5", 0}}, {"/dev/da7", {0, "umass-sim6", 0}}};
        fake::opened.clear();
        fake::mounts = {{"/dev/ada0p2", "/"}, {"devfs", "/dev"}};
        fake::types = {{"/dev", "devfs"}};
        fake::unmounting.clear();
        set_probe_runner(asks_directly);
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

    // --- removable, as GEOM, the da driver and the disk's node tell -------

    // Every disk of removable-disks.xml, with what its driver's flags say
    // (as the kernel's %b prints them) and what its node answers to
    // DIOCGATTR; root on the internal disk.
    void removable_providers_data()
    {
        QTest::addColumn<QByteArray>("provider");
        QTest::addColumn<bool>("removable");

        QTest::newRow("a USB stick's slice") << QByteArray("da0s1") << true;
        QTest::newRow("its label, through LABEL and PART") << QByteArray("msdosfs/STICK") << true;
        QTest::newRow("the stick itself") << QByteArray("da0") << true;
        QTest::newRow("ELI on a stick whose node the user may not open") << QByteArray("da1p1.eli") << true;
        QTest::newRow("a card reader") << QByteArray("da2p1") << true;
        QTest::newRow("a SAS disk") << QByteArray("da3p1") << false;
        QTest::newRow("a USB disk that calls its medium fixed") << QByteArray("da4p1") << true;
        QTest::newRow("a stick with a ZFS pool, root elsewhere") << QByteArray("da7p1") << true;
        QTest::newRow("an SD card through mmcsd") << QByteArray("mmcsd0s1") << true;
        QTest::newRow("an SD card through CAM, under NOP") << QByteArray("sdda0p1.nop") << true;
        QTest::newRow("an eMMC through mmcsd") << QByteArray("mmcsd1s1") << false;
        QTest::newRow("an eMMC through CAM") << QByteArray("sdda1p1") << false;
        QTest::newRow("a mirror of two sticks is not followed") << QByteArray("mirror/gm0") << false;
        QTest::newRow("a memory disk") << QByteArray("md0") << false;
        QTest::newRow("the internal disk") << QByteArray("ada0p2") << false;
        QTest::newRow("no such provider") << QByteArray("da9s1") << false;
    }

    void removable_providers()
    {
        QFETCH(QByteArray, provider);
        QFETCH(bool, removable);
        QCOMPARE(geom_provider_removable(provider.toStdString()), removable);
        QCOMPARE(fake::trees_alive(), 0);
        opened_for_reading_only();
    }

    // A da disk that does not say its medium can be removed counts when its
    // node says it is attached through USB mass storage; where the node
    // cannot be opened or does not tell, the flags alone decide.
    void a_da_disk_by_its_attachment_data()
    {
        QTest::addColumn<QByteArray>("flags"); // empty: no such sysctl
        QTest::addColumn<int>("open_error");
        QTest::addColumn<int>("ioctl_error");
        QTest::addColumn<QByteArray>("attachment");
        QTest::addColumn<bool>("removable");

        QTest::newRow("USB, a fixed medium") << usb_ssd << 0 << 0 << QByteArray("umass-sim2") << true;
        QTest::newRow("USB, a fixed medium, a node the user may not open")
            << usb_ssd << EACCES << 0 << QByteArray("umass-sim2") << false;
        QTest::newRow("a removable medium, a node the user may not open")
            << stick << EACCES << 0 << QByteArray("umass-sim2") << true;
        QTest::newRow("a kernel that keeps no attachment")
            << usb_ssd << 0 << EOPNOTSUPP << QByteArray() << false;
        QTest::newRow("virtio SCSI, a fixed medium") << vtscsi << 0 << 0 << QByteArray("vtscsi0") << false;
        QTest::newRow("a SAS controller, a removable medium")
            << removable_on_sas << 0 << 0 << QByteArray("mpr0") << true;
        QTest::newRow("USB, no flags to read") << QByteArray() << 0 << 0 << QByteArray("umass-sim2") << true;
    }

    void a_da_disk_by_its_attachment()
    {
        QFETCH(QByteArray, flags);
        QFETCH(int, open_error);
        QFETCH(int, ioctl_error);
        QFETCH(QByteArray, attachment);
        QFETCH(bool, removable);
        fake::sysctls.erase("kern.cam.da.4.flags");
        if (!flags.isEmpty())
            fake::sysctls["kern.cam.da.4.flags"] = flags.toStdString();
        fake::nodes["/dev/da4"] = {open_error, attachment.toStdString(), ioctl_error};
        QCOMPARE(geom_provider_removable("da4p1"), removable);
        opened_for_reading_only();
    }

    // The disk that holds the root filesystem is never one to offer to
    // reformat, removable or not: a board that boots from its SD card, a
    // system installed on a stick.
    void never_the_root_disk_data()
    {
        QTest::addColumn<QByteArray>("root");   // mounted from; empty: no mount table
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("provider");
        QTest::addColumn<bool>("removable");

        QTest::newRow("root on the internal disk") << QByteArray("/dev/ada0p2") << QByteArray("ufs")
                                                   << QByteArray("mmcsd0s1") << true;
        QTest::newRow("root on the card's other slice") << QByteArray("/dev/mmcsd0s2") << QByteArray("ufs")
                                                        << QByteArray("mmcsd0s1") << false;
        QTest::newRow("root on the card, by its label") << QByteArray("/dev/ufs/rootfs") << QByteArray("ufs")
                                                        << QByteArray("mmcsd0s1") << false;
        // A dataset names no device: a stick that serves a pool may be root's.
        QTest::newRow("root on ZFS, a stick with a pool") << QByteArray("zroot/ROOT/default") << QByteArray("zfs")
                                                          << QByteArray("da7p1") << false;
        QTest::newRow("root on ZFS, a stick without") << QByteArray("zroot/ROOT/default") << QByteArray("zfs")
                                                      << QByteArray("da0s1") << true;
        QTest::newRow("no mount table to tell") << QByteArray() << QByteArray() << QByteArray("mmcsd0s1") << false;
    }

    void never_the_root_disk()
    {
        QFETCH(QByteArray, root);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, provider);
        QFETCH(bool, removable);
        fake::mounts.clear();
        fake::types.clear();
        if (!root.isEmpty()) {
            fake::mounts = {{root, "/"}, {"devfs", "/dev"}, {"/dev/ada0p1", "/boot/efi"}};
            fake::types = {{"/", type}, {"/dev", "devfs"}, {"/boot/efi", "msdosfs"}};
        }
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

    // --- a volume the table leaves out for a moment -----------------------

    // The table, read without waiting, leaves out a mount while an unmount
    // of it is underway. When the unmount then fails (the stick is busy),
    // the volume is the one it was: no second window. Unmounted for real
    // and mounted again, it is new.
    void a_volume_hidden_by_an_unmount_underway()
    {
        VolumeWatcher watcher([](const MountEntry &) { return true; });
        watcher.begin(table());
        fake::mounts.push_back({"/dev/msdosfs/STICK", "/media/stick"});
        fake::types.push_back({"/media/stick", "msdosfs"});
        QCOMPARE(watcher.update(table()).size(), size_t(1));

        fake::unmounting = {"/media/stick"};
        QCOMPARE(watcher.update(table()).size(), size_t(0));
        fake::unmounting.clear();
        QCOMPARE(watcher.update(table()).size(), size_t(0));

        fake::mounts.removeLast();
        QCOMPARE(watcher.update(table()).size(), size_t(0));
        fake::mounts.push_back({"/dev/msdosfs/STICK", "/media/stick"});
        const std::vector<VolumeStart> again = watcher.update(table());
        QCOMPARE(again.size(), size_t(1));
        QCOMPARE(again[0].mount_point, std::string("/media/stick"));
    }

    // Whether the mount is still there asks the filesystem, which might not
    // answer in time: it is kept until an answer says it is gone.
    void a_hidden_volume_whose_filesystem_does_not_answer()
    {
        VolumeWatcher watcher([](const MountEntry &) { return true; });
        watcher.begin(table());
        fake::mounts.push_back({"/dev/da0s1", "/media/stick"});
        QCOMPARE(watcher.update(table()).size(), size_t(1));

        fake::unmounting = {"/media/stick"};
        set_probe_runner([](const std::function<std::string()> &, std::string *) {
            errno = ETIMEDOUT;
            return false;
        });
        QCOMPARE(watcher.update(table()).size(), size_t(0));
        fake::unmounting.clear();
        QCOMPARE(watcher.update(table()).size(), size_t(0));

        // Asked again while it stays away, and gone once an answer says so.
        fake::mounts.removeLast();
        QCOMPARE(watcher.update(table()).size(), size_t(0));
        set_probe_runner(asks_directly);
        QCOMPARE(watcher.update(table()).size(), size_t(0));
        fake::mounts.push_back({"/dev/da0s1", "/media/stick"});
        QCOMPARE(watcher.update(table()).size(), size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestFreebsdWatch)
#include "test_freebsd_watch.moc"
