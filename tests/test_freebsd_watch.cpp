// The mount watcher's FreeBSD branch on fakes of its calls: kqueue's
// EVFILT_FS news of mounts, and which disks count as removable, from GEOM
// trees, the da driver's flags, the disks' nodes and the mount table;
// devd's socket, served by the test, and the folders of autofs's -media
// map entered for new sticks.
#include "freebsd/fakes.h"
#include "freebsd/watch_fakes.h"
#include "platform/devd_events.h"
#include "platform/disk_marks.h"
#include "platform/fs_probe.h"
#include "platform/geom_disks.h"
#include "platform/fuse_link.h"
#include "platform/mount_events.h"
#include "platform/mount_table.h"
#include "platform/removable_disks.h"
#include "watch/autofs_trigger.h"
#include "watch/volume_watcher.h"

#include <sys/param.h>
#include <sys/ucred.h>
#include <sys/mount.h>

#include <QtTest>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace {

// A FUSE daemon as fake::processes holds it: /dev/fuse and its device open,
// both named on its command line with the folder it serves.
fake::FakeProcess fuse_daemon(long pid, const QByteArray &device, const QByteArray &folder, long user)
{
    fake::FakeProcess p;
    p.pid = pid;
    p.command = "mount.exfat";
    p.files = {{"/dev/fuse", "fuse"}};
    if (!device.isEmpty()) {
        p.files.append(fake::FakeFile{"/dev/" + device, device});
        p.args.append("/dev/" + device);
    }
    p.args.append(folder);
    p.owner = user;
    return p;
}

// Mounts the FUSE filesystem on folder, as user, in the fake table.
void mount_fuse(const QByteArray &folder, const QByteArray &type, uid_t user)
{
    fake::mounts.append(qMakePair(QByteArray("/dev/fuse"), folder));
    fake::types.append(qMakePair(folder, type));
    fake::owners.append(qMakePair(folder, user));
}

std::vector<MountEntry> table_now()
{
    std::vector<MountEntry> table;
    list_mounts(&table);
    return table;
}

QStringList started(const std::vector<VolumeStart> &starts)
{
    QStringList out;
    for (const VolumeStart &v : starts)
        out << QString::fromStdString(v.mount_point + " " + v.device + " " + v.fs_type);
    return out;
}

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
bool readable(int fd, int ms)
{
    pollfd p = {fd, POLLIN, 0};
    return fd >= 0 && poll(&p, 1, ms) == 1;
}

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// devd's end of its socket, at a path of the test's: it listens for
// programs, and passes each event on as one record.
class FakeDevd
{
public:
    explicit FakeDevd(const std::string &path) : path(path) {}
    ~FakeDevd() { stop(); }

    bool listen()
    {
        sockaddr_un address;
        memset(&address, 0, sizeof address);
        address.sun_family = AF_UNIX;
        memcpy(address.sun_path, path.c_str(), path.size());
        unlink(path.c_str());
        listener = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        return listener >= 0 && bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && chmod(path.c_str(), 0666) == 0 && ::listen(listener, 4) == 0;
    }

    // Whether a program has connected, waiting that long for one.
    bool take_client(int ms)
    {
        if (!readable(listener, ms))
            return false;
        drop_client();
        client = accept(listener, nullptr, nullptr);
        return client >= 0;
    }

    bool send(const QByteArray &record) const
    {
        return ::send(client, record.constData(), size_t(record.size()), 0) == record.size();
    }

    // Hangs up on the program, as devd does when it ends.
    void drop_client()
    {
        if (client >= 0)
            close(client);
        client = -1;
    }

    void stop()
    {
        drop_client();
        if (listener >= 0)
            close(listener);
        listener = -1;
        unlink(path.c_str());
    }

private:
    std::string path;
    int listener = -1;
    int client = -1;
};

// What devd passes on for each of these nodes, from devfs and from GEOM.
QStringList devd_records(const QString &type, const QStringList &names)
{
    QStringList records;
    for (const QString &name : names)
        records << "!system=DEVFS subsystem=CDEV type=" + type + " cdev=" + name + "\n"
                << "!system=GEOM subsystem=DEV type=" + type + " cdev=" + name + "\n";
    return records;
}

QStringList plugged(const QStringList &names)
{
    return devd_records("CREATE", names);
}

QStringList pulled(const QStringList &names)
{
    return devd_records("DESTROY", names);
}

// A provider's medium changed, or its last writer closed it.
QStringList changed(const QStringList &names)
{
    return devd_records("MEDIACHANGE", names);
}

const char removable_flags[] = "0x308<PACK_REMOVABLE,OPEN,SCTX_INIT>";

// A machine with the sticks and disks of autofs-media.xml and, with
// autofs, the -media map's autofs mount on /media.
void set_up_machine(bool autofs)
{
    fake::tree = fake::tree_file("autofs-media.xml");
    fake::sysctls = {{"kern.cam.da.0.flags", removable_flags},
                     {"kern.cam.da.1.flags", removable_flags},
                     {"kern.cam.da.2.flags", "0x710<ROTATING,OPEN,SCTX_INIT,CAN_RC16>"},
                     {"kern.cam.da.3.flags", removable_flags}};
    // da2 is a fixed disk on a SAS controller; the others hang on USB.
    fake::nodes = {{"/dev/da0", {0, "umass-sim0", 0}}, {"/dev/da1", {0, "umass-sim1", 0}},
                   {"/dev/da2", {0, "mpr0", 0}}, {"/dev/da3", {0, "umass-sim2", 0}}};
    fake::mounts = {{"/dev/ada0p1", "/"}};
    fake::types.clear();
    if (autofs) {
        fake::mounts.append(qMakePair(QByteArray("map -media"), QByteArray("/media")));
        fake::types = {{"/media", "autofs"}};
    }
}

// The entering of a folder, noted down in the log by the child that
// enters; at the look that many (0: none), automountd mounts the stick
// there, in the mount table the child sees.
std::function<std::string(const std::string &)> look_up_noted(const std::string &log, int mounted_at = 1)
{
    return [log, mounted_at](const std::string &path) {
        static int looks = 0; // each child counts its own
        const std::string line = std::to_string(getpid()) + ' ' + path + '\n';
        const int fd = open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
        if (fd < 0 || write(fd, line.data(), line.size()) != ssize_t(line.size()))
            _exit(1);
        close(fd);
        if (++looks == mounted_at) {
            const QByteArray dir = QByteArray::fromStdString(path);
            fake::mounts.append(qMakePair(QByteArray("/dev/da0s1"), dir));
            fake::types.append(qMakePair(dir, QByteArray("msdosfs")));
        }
        return std::string();
    };
}

// The agent's trigger, connected to a devd of the test's, its entering of
// folders noted down by the child that enters.
struct Rig {
    QTemporaryDir dir;
    const std::string socket_path = dir.filePath("devd.seqpacket.pipe").toStdString();
    const std::string log_path = dir.filePath("entered").toStdString();
    FakeDevd devd{socket_path};
    AutofsTrigger trigger{socket_path};
    QStringList reports;

    Rig()
    {
        disk_mark_dir() = dir.path().toStdString() + "/";
        trigger.look_up = look_up_noted(log_path);
        trigger.recheck_ms = 20;
        trigger.report = [this](const std::string &text) { reports << QString::fromStdString(text); };
    }

    // Sends the records and lets the trigger read them.
    bool deliver(const QStringList &records)
    {
        for (const QString &r : records)
            if (!devd.send(r.toUtf8()))
                return false;
        if (!readable(trigger.descriptor(), 2000))
            return false;
        trigger.wake(true);
        return true;
    }

    // The folders entered, in order; each in a child of its own.
    QStringList entered() const
    {
        QFile f(QString::fromStdString(log_path));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList paths;
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const int blank = line.indexOf(' ');
            if (line.left(blank).toLong() == long(getpid()))
                return {"entered by the agent itself"};
            paths << QString::fromUtf8(line.mid(blank + 1));
        }
        return paths;
    }
};

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
        fake::euid = 1001;
        fake::processes.clear();
        fake::numbers.clear();
        fake::owners.clear();
        forget_fuse_links();
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
        fake::limits.clear();
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
        // With devd's socket (9) and a time limit besides.
        QTest::newRow("devd's socket") << B{{0, rd, 0, 9, 0}} << int(MountEvents::other_readable) << 0;
        QTest::newRow("the socket and the pipe")
            << B{{0, rd, 0, 9, 0}, {0, rd, 0, 7, 0}} << int(MountEvents::other_readable | MountEvents::fd_readable) << 0;
        QTest::newRow("nothing within the limit") << B{{}} << int(MountEvents::timed_out) << 0;
    }

    void wakes()
    {
        QFETCH(QList<QList<int>>, news);
        QFETCH(int, wake);
        QFETCH(int, error);
        for (const QList<int> &e : news) {
            if (e.isEmpty())
                continue;
            struct kevent k = ::news(short(e[1]), unsigned(e[2]), uintptr_t(e[3]), (unsigned short)e[4]);
            if (e[4] & EV_ERROR)
                k.data = EBADF;
            if (size_t(e[0]) == fake::batches.size())
                fake::batches.emplace_back();
            fake::batches.back().push_back(k);
        }
        if (news.size() == 1 && news[0].isEmpty())
            fake::batches.emplace_back();
        MountEvents events;
        QVERIFY(events.open());
        errno = 0;
        QCOMPARE(events.wait(7, 9, 500), wake);
        if (wake == 0)
            QCOMPARE(errno, error);
        // kevent() is given the limit, and what is left of it after news
        // slept through.
        QVERIFY(!fake::limits.empty());
        for (const long long limit : fake::limits)
            QVERIFY2(limit > 400 && limit <= 500, qPrintable(QString::number(limit)));
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
    // Another descriptor, such as devd's socket, may be closed and its
    // number come back for the next one: it is registered at every wait.
    void registers_the_other_descriptor_each_time()
    {
        MountEvents events;
        QVERIFY(events.open());
        fake::batches = {{news(EVFILT_READ, 0, 9)}, {news(EVFILT_READ, 0, 9)}};
        QCOMPARE(events.wait(7, 9, -1), int(MountEvents::other_readable));
        QCOMPARE(events.wait(7, 9, -1), int(MountEvents::other_readable));
        int sevens = 0, nines = 0;
        for (const struct kevent &c : fake::changes)
            if (c.filter == EVFILT_READ && (c.flags & EV_ADD))
                (c.ident == 7 ? sevens : nines) += 1;
        QCOMPARE(sevens, 1);
        QCOMPARE(nines, 2);
        QCOMPARE(fake::limits, std::vector<long long>({-1, -1}));
    }

    // --- removable, as GEOM and the da driver tell -----------------------

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

    // Where the disk's node tells its attachment, USB mass storage always
    // counts and a server's adapter never does; any other goes by the
    // flags, as does a disk whose node cannot be opened or does not tell.
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
        // Some SAS and virtual drives report a removable medium: behind a
        // server's adapter no disk is a stick, whatever its flags say.
        QTest::newRow("a SAS controller, a removable medium")
            << removable_on_sas << 0 << 0 << QByteArray("mpr0") << false;
        QTest::newRow("iSCSI, a removable medium") << stick << 0 << 0 << QByteArray("iscsi0") << false;
        QTest::newRow("virtio SCSI, a removable medium") << stick << 0 << 0 << QByteArray("vtscsi0") << false;
        QTest::newRow("Hyper-V, a removable medium") << stick << 0 << 0 << QByteArray("storvsc0") << false;
        QTest::newRow("USB, a removable medium") << stick << 0 << 0 << QByteArray("umass-sim0") << true;
        QTest::newRow("another adapter, a removable medium") << stick << 0 << 0 << QByteArray("ahc0") << true;
        QTest::newRow("another adapter, a fixed medium") << usb_ssd << 0 << 0 << QByteArray("ahc0") << false;
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

    // Under an autofs mount, a look-up of a folder that nothing is mounted
    // on has automountd mount what the map lists there (once devd's
    // "automount -c" has flushed autofs' cache, which every unmount's
    // MEDIACHANGE brings): a stick autounmountd unmounted would be mounted
    // again and pass for still there, with no window. Its folder is never
    // looked up: gone from the table, it is gone.
    void a_volume_left_out_beside_autofs_data()
    {
        QTest::addColumn<QByteArray>("autofs"); // the autofs mount's folder
        QTest::addColumn<QByteArray>("folder"); // the stick's
        QTest::addColumn<int>("looked_up");

        QTest::newRow("under the -media folder") << QByteArray("/media") << QByteArray("/media/STICK") << 0;
        QTest::newRow("on a direct map's own folder") << QByteArray("/mnt/stick") << QByteArray("/mnt/stick") << 0;
        QTest::newRow("beside it, under a folder of a longer name")
            << QByteArray("/media") << QByteArray("/media2/STICK") << 1;
    }

    void a_volume_left_out_beside_autofs()
    {
        QFETCH(QByteArray, autofs);
        QFETCH(QByteArray, folder);
        QFETCH(int, looked_up);
        const auto entry = [](const char *source, const QByteArray &dir, const char *type) {
            MountEntry m;
            m.source = source;
            m.dir = dir.toStdString();
            m.type = type;
            return m;
        };
        const std::vector<MountEntry> before = {entry("/dev/ada0p2", "/", "ufs"),
                                                entry("map -media", autofs, "autofs")};
        std::vector<MountEntry> mounted = before;
        mounted.push_back(entry("/dev/msdosfs/STICK", folder, "msdosfs"));
        VolumeWatcher watcher([](const MountEntry &) { return true; });
        watcher.begin(before);
        QCOMPARE(watcher.update(mounted).size(), size_t(1));

        static int asked;
        asked = 0;
        set_probe_runner([](const std::function<std::string()> &question, std::string *answer) {
            ++asked;
            *answer = question();
            return true;
        });
        QCOMPARE(watcher.update(before).size(), size_t(0));
        QCOMPARE(asked, looked_up);
        QCOMPARE(watcher.update(mounted).size(), size_t(1));
    }

    // --- devd's socket ---------------------------------------------------

    // Recorded lines as devd passes them on, one event a record.
    void devd_records_data()
    {
        QTest::addColumn<QByteArrayList>("records");
        QTest::addColumn<QStringList>("events");

        const QByteArray geom = "!system=GEOM subsystem=DEV type=", devfs = "!system=DEVFS subsystem=CDEV type=";
        QTest::newRow("a node from devfs and from GEOM")
            << QByteArrayList{devfs + "CREATE cdev=da0s1\n", geom + "CREATE cdev=da0s1\n"}
            << QStringList{"created da0s1", "created da0s1"};
        QTest::newRow("a label gone, without the newline")
            << QByteArrayList{geom + "DESTROY cdev=msdosfs/STICK"} << QStringList{"destroyed msdosfs/STICK"};
        QTest::newRow("a card in a reader") << QByteArrayList{geom + "MEDIACHANGE cdev=da3\n"}
                                            << QStringList{"media_changed da3"};
        QTest::newRow("two lines in one record")
            << QByteArrayList{geom + "CREATE cdev=da0\n" + geom + "CREATE cdev=da0s1\n"}
            << QStringList{"created da0", "created da0s1"};
        QTest::newRow("a record longer than devd sends, skipped whole")
            << QByteArrayList{geom + "CREATE cdev=" + QByteArray(9000, 'x') + "\n", geom + "CREATE cdev=da1\n"}
            << QStringList{"created da1"};
        QTest::newRow("a quoted value that reads like fields")
            << QByteArrayList{geom + "CREATE cdev=da0 note=\"type=DESTROY cdev=da9\"\n"} << QStringList{"created da0"};
        QTest::newRow("other news")
            << QByteArrayList{"+umass0 at bus=0 hubaddr=1 port=2 devaddr=2 interface=0 on uhub0\n",
                              "!system=USB subsystem=DEVICE type=ATTACH ugen=ugen0.2 cdev=ugen0.2\n",
                              "!system=IFNET subsystem=em0 type=LINK_UP\n", geom + "SIZECHANGE cdev=da0\n",
                              devfs + "CREATE\n", "!system=DEVFS subsystem=CDEV type=CREATE cdev=\n"}
            << QStringList{};
    }

    void devd_records()
    {
        QFETCH(QByteArrayList, records);
        QFETCH(QStringList, events);
        QTemporaryDir dir;
        const std::string path = dir.filePath("devd.seqpacket.pipe").toStdString();
        FakeDevd server(path);
        QVERIFY(server.listen());
        DevdEvents devd(path);
        QVERIFY(devd.connect());
        QVERIFY(server.take_client(2000));
        for (const QByteArray &r : records)
            QVERIFY(server.send(r));
        QVERIFY(readable(devd.descriptor(), 2000));
        std::vector<DevdEvent> got;
        QVERIFY(devd.read(&got));
        const char *kinds[] = {"created", "destroyed", "media_changed"};
        QStringList seen;
        for (const DevdEvent &e : got)
            seen << QString(kinds[e.kind]) + ' ' + QString::fromStdString(e.name);
        QCOMPARE(seen, events);
        // devd ends: the connection is closed, to be made again later.
        server.drop_client();
        QVERIFY(readable(devd.descriptor(), 2000));
        QVERIFY(!devd.read(&got));
        QCOMPARE(devd.descriptor(), -1);
    }

    // --- autofs's -media map ---------------------------------------------

    void media_folder_data()
    {
        // mounts as source, folder, type
        QTest::addColumn<QStringList>("mounts");
        QTest::addColumn<QString>("folder");

        const QStringList root = {"/dev/ada0p1", "/", "ufs"};
        QTest::newRow("no autofs") << root << "";
        QTest::newRow("the -media map") << root + QStringList{"map -media", "/media", "autofs"} << "/media";
        QTest::newRow("another map") << root + QStringList{"map auto_home", "/home", "autofs"} << "";
        QTest::newRow("the first of two")
            << root + QStringList{"map -media", "/media", "autofs", "map -media", "/mnt/media", "autofs"} << "/media";
        QTest::newRow("something mounted over it")
            << root + QStringList{"map -media", "/media", "autofs", "/dev/da9s1", "/media", "msdosfs"} << "";
        QTest::newRow("not autofs") << root + QStringList{"map -media", "/media", "nullfs"} << "";
    }

    void media_folder()
    {
        QFETCH(QStringList, mounts);
        QFETCH(QString, folder);
        std::vector<MountEntry> table;
        for (int i = 0; i + 2 < mounts.size(); i += 3) {
            MountEntry m;
            m.source = mounts[i].toStdString();
            m.dir = mounts[i + 1].toStdString();
            m.type = mounts[i + 2].toStdString();
            table.push_back(m);
        }
        QCOMPARE(QString::fromStdString(::media_folder(table)), folder);
    }

    // The key from a GEOM label, as the -media map's script spells it
    // from fstyp's label; none where the script would spell it otherwise.
    void key_of_a_label_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("key");

        QTest::newRow("plain") << "msdosfs/STICK" << "STICK";
        QTest::newRow("a blank, as GEOM writes it") << "msdosfs/MY%20STICK" << "MY STICK";
        QTest::newRow("blanks between words become one") << "ext2fs/two%20%20words" << "two words";
        QTest::newRow("plus signs and slashes") << "ufs/a+b/c" << "a-b-c";
        QTest::newRow("a leading plus sign") << "msdosfs/+X" << "-X";
        QTest::newRow("a percent sign") << "ntfs/100%25" << "100%";
        QTest::newRow("an ISO image") << "iso9660/DEBIAN_12" << "DEBIAN_12";
        QTest::newRow("a partition's name") << "gpt/STICK" << "";
        QTest::newRow("a disk's serial number") << "diskid/DISK-4C530001" << "";
        QTest::newRow("a filesystem's id") << "ufsid/5f1a2b3c4d5e6f70" << "";
        QTest::newRow("no label") << "da0s1" << "";
        QTest::newRow("not ASCII") << "msdosfs/CAF%C3%89" << "";
        QTest::newRow("a tab") << "msdosfs/A%09B" << "";
        QTest::newRow("a glob character") << "msdosfs/STAR*" << "";
        QTest::newRow("a quote") << "msdosfs/%22Q%22" << "";
        QTest::newRow("a dollar sign") << "msdosfs/$HOME" << "";
        QTest::newRow("a backslash") << "msdosfs/A\\B" << "";
        QTest::newRow("an option of echo") << "msdosfs/-n" << "";
        QTest::newRow("the parent folder") << "ufs/.." << "";
        QTest::newRow("a broken escape") << "msdosfs/BAD%2" << "";
    }

    void key_of_a_label()
    {
        QFETCH(QString, provider);
        QFETCH(QString, key);
        QCOMPARE(QString::fromStdString(media_key_of_label(provider.toStdString())), key);
    }

    // Which key a provider is entered under, by what GEOM says of it.
    void key_of_a_provider_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("idle");
        QTest::addColumn<bool>("partitioned");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QStringList>("others");
        QTest::addColumn<QString>("key");

        const QStringList internal = {"ada0", "ada0p1", "ada0p2", "msdosfs/SHARED"};
        QTest::newRow("its label") << "da0s1" << true << false << QStringList{"msdosfs/STICK"} << internal << "STICK";
        QTest::newRow("no label") << "da0s1" << true << false << QStringList{} << internal << "da0s1";
        QTest::newRow("a partition's name only")
            << "da0p1" << true << false << QStringList{"gpt/NOTES", "gptid/0c6c3e4e"} << internal << "da0p1";
        QTest::newRow("held open") << "da0s1" << false << false << QStringList{"msdosfs/STICK"} << internal << "";
        QTest::newRow("a name with a slash") << "mirror/gm0" << true << false << QStringList{} << internal << "";
        QTest::newRow("a partition table") << "da0" << true << true << QStringList{"diskid/DISK-1"} << internal << "";
        QTest::newRow("an ISO image over a partition table")
            << "da0" << true << true << QStringList{"iso9660/DEBIAN"} << internal << "DEBIAN";
        QTest::newRow("two filesystems' labels")
            << "da0" << true << false << QStringList{"iso9660/DEBIAN", "msdosfs/EFI"} << internal << "da0";
        QTest::newRow("a label that another filesystem's key matches")
            << "da0s1" << true << false << QStringList{"ext2fs/SHARED"} << internal << "da0s1";
        QTest::newRow("a label that is another provider's name")
            << "da0s1" << true << false << QStringList{"msdosfs/ada0p2"} << internal << "da0s1";
        QTest::newRow("a label the script would spell otherwise")
            << "da0s1" << true << false << QStringList{"msdosfs/CAF%C3%89"} << internal << "da0s1";
        QTest::newRow("a name another filesystem's key matches")
            << "da0s1" << true << false << QStringList{} << internal + QStringList{"ntfs/da0s1"} << "";
    }

    void key_of_a_provider()
    {
        QFETCH(QString, base);
        QFETCH(bool, idle);
        QFETCH(bool, partitioned);
        QFETCH(QStringList, labels);
        QFETCH(QStringList, others);
        QFETCH(QString, key);
        GeomMediaView view;
        view.base = base.toStdString();
        view.idle = idle;
        view.partitioned = partitioned;
        for (const QString &l : labels)
            view.labels.push_back(l.toStdString());
        for (const QString &o : others)
            view.others.push_back(o.toStdString());
        QCOMPARE(QString::fromStdString(media_key(view)), key);
    }

    // What GEOM's tree says of a provider, through its labels.
    void media_view_of_a_tree()
    {
        fake::tree = fake::tree_file("autofs-media.xml");
        GeomMediaView view;
        QVERIFY(geom_media_view("msdosfs/STICK", &view));
        QCOMPARE(view.base, std::string("da0s1"));
        QVERIFY(view.idle);
        QVERIFY(!view.partitioned);
        QCOMPARE(view.labels, std::vector<std::string>{"msdosfs/STICK"});
        const auto has = [&view](const char *name) {
            return std::find(view.others.begin(), view.others.end(), name) != view.others.end();
        };
        QVERIFY(has("msdosfs/SHARED") && has("ada0p2") && has("da0") && !has("da0s1") && !has("msdosfs/STICK"));
        QVERIFY(geom_media_view("da0", &view));
        QVERIFY(view.partitioned);
        QCOMPARE(view.labels, std::vector<std::string>{"diskid/DISK-4C530001"});
        QVERIFY(geom_media_view("da1p3", &view));
        QVERIFY(!view.idle);
        QVERIFY(!geom_media_view("da9", &view));
        QCOMPARE(fake::trees_alive(), 0);
    }

    // devd's news of sticks and disks, and the folders entered for them.
    void folders_entered_data()
    {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("entered");

        const QString geom = "!system=GEOM subsystem=DEV type=";
        QTest::newRow("a labelled stick, under its label")
            << plugged({"da0", "diskid/DISK-4C530001", "da0s1", "msdosfs/STICK"}) << QStringList{"/media/STICK"};
        QTest::newRow("a partition known by its own name") << plugged({"da1", "da1p1", "gpt/NOTES"})
                                                           << QStringList{"/media/da1p1"};
        QTest::newRow("a label the internal disk's key matches") << plugged({"da1p2", "ext2fs/SHARED"})
                                                                 << QStringList{"/media/da1p2"};
        QTest::newRow("a partition already mounted") << plugged({"da1p3"}) << QStringList{};
        QTest::newRow("the internal disk's unmounted partitions")
            << plugged({"ada0p2", "msdosfs/SHARED", "ada0p3", "ntfs/WINDOWS"}) << QStringList{};
        QTest::newRow("a fixed disk on a SAS controller") << plugged({"da2", "da2p1", "msdosfs/BACKUP"})
                                                             << QStringList{};
        QTest::newRow("other news")
            << QStringList{"+umass0 at bus=0 hubaddr=1 port=2 devaddr=2 interface=0 on uhub0\n",
                           "!system=IFNET subsystem=em0 type=LINK_UP\n",
                           "!system=DEVFS subsystem=CDEV type=CREATE cdev=pts/3\n", geom + "SIZECHANGE cdev=da0s1\n"}
            << QStringList{};
        // autounmountd unmounted it, and its label came back: the stick
        // is still in, and opening its folder is the user's to do.
        QTest::newRow("its label back after an unmount")
            << plugged({"da0s1", "msdosfs/STICK"}) + pulled({"msdosfs/STICK"}) + plugged({"msdosfs/STICK"})
            << QStringList{"/media/STICK"};
        QTest::newRow("pulled out and plugged in again")
            << plugged({"da0", "da0s1", "msdosfs/STICK"}) + pulled({"msdosfs/STICK", "da0s1", "da0"})
                   + plugged({"da0", "da0s1", "msdosfs/STICK"})
            << QStringList{"/media/STICK", "/media/STICK"};
        // Every unmount of a read-write mount (autounmountd's, a file
        // manager's eject, vorlix's own) is the last writer's close, of
        // which devfs and GEOM tell as a new medium: the stick is the one
        // it was, and stays unmounted.
        QTest::newRow("unmounted, the last writer's close")
            << plugged({"da0", "da0s1", "msdosfs/STICK"}) + pulled({"msdosfs/STICK"}) + changed({"da0s1"})
                   + plugged({"msdosfs/STICK"})
            << QStringList{"/media/STICK"};
        QTest::newRow("a card put into a reader") << changed({"da3"}) + plugged({"msdosfs/CARD"})
                                                  << QStringList{"/media/CARD"};
    }

    void folders_entered()
    {
        QFETCH(QStringList, records);
        QFETCH(QStringList, entered);
        set_up_machine(true);
        Rig rig;
        QVERIFY(rig.devd.listen());
        rig.trigger.table_read(table_now());
        QVERIFY(rig.devd.take_client(2000));
        QVERIFY(rig.deliver(records));
        QCOMPARE(rig.entered(), entered);
        QCOMPARE(rig.reports, QStringList{});
        QCOMPARE(fake::trees_alive(), 0);
    }

    // A card reader tells of each card put in as a new medium of its disk,
    // and so of the last writer's close of the card there: a card whose
    // serial number or size is another's is entered, the one entered
    // before is not, and the two copies of one event count once.
    void a_card_in_a_reader_data()
    {
        QTest::addColumn<QByteArray>("ident"); // the next medium's; empty: the same
        QTest::addColumn<qint64>("size");      // the next medium's; 0: the same
        QTest::addColumn<int>("entered");

        QTest::newRow("the same card, unmounted") << QByteArray() << qint64(0) << 1;
        QTest::newRow("a card of another serial number") << QByteArray("058F63666472") << qint64(0) << 2;
        QTest::newRow("a card of another size") << QByteArray() << qint64(31914983424) << 2;
    }

    void a_card_in_a_reader()
    {
        QFETCH(QByteArray, ident);
        QFETCH(qint64, size);
        QFETCH(int, entered);
        set_up_machine(true);
        Rig rig;
        QVERIFY(rig.devd.listen());
        rig.trigger.table_read(table_now());
        QVERIFY(rig.devd.take_client(2000));
        QVERIFY(rig.deliver(changed({"da3"}) + plugged({"msdosfs/CARD"})));
        QCOMPARE(rig.entered(), QStringList{"/media/CARD"});

        if (!ident.isEmpty())
            fake::tree.replace("<ident>058F63666471</ident>", "<ident>" + ident + "</ident>");
        if (size != 0)
            fake::set_mediasize("da3", size);
        QVERIFY(rig.deliver(pulled({"msdosfs/CARD"}) + changed({"da3"}) + plugged({"msdosfs/CARD"})));
        QCOMPARE(rig.entered(), QStringList(entered, "/media/CARD"));
        QCOMPARE(rig.reports, QStringList{});
    }

    // devd tells its listeners of a provider before it has autofs' cache
    // flushed: a stick plugged in again finds its key's folder there, empty,
    // and nothing mounted. The child looks again a little later; the
    // provider counts as entered only once something is mounted there, so
    // the next word of it from devd enters it again.
    void a_look_up_before_the_cache_is_flushed_data()
    {
        QTest::addColumn<int>("mounted_at"); // the look that finds it mounted; 0: none
        QTest::addColumn<int>("looks");      // made for the stick's first event
        QTest::addColumn<int>("looks_then"); // made for its second
        QTest::addColumn<QStringList>("reports");

        QTest::newRow("at the first look") << 1 << 1 << 0 << QStringList{};
        QTest::newRow("at the third look") << 3 << 3 << 0 << QStringList{};
        QTest::newRow("at none") << 0 << 4 << 4
                                 << QStringList(2, "the automounter mounted nothing on /media/STICK");
    }

    void a_look_up_before_the_cache_is_flushed()
    {
        QFETCH(int, mounted_at);
        QFETCH(int, looks);
        QFETCH(int, looks_then);
        QFETCH(QStringList, reports);
        set_up_machine(true);
        Rig rig;
        rig.trigger.look_up = look_up_noted(rig.log_path, mounted_at);
        rig.trigger.looks = 4;
        QVERIFY(rig.devd.listen());
        rig.trigger.table_read(table_now());
        QVERIFY(rig.devd.take_client(2000));
        const long long start = now_ms();
        QVERIFY(rig.deliver({"!system=DEVFS subsystem=CDEV type=CREATE cdev=msdosfs/STICK\n"}));
        const long long took = now_ms() - start;
        QCOMPARE(rig.entered(), QStringList(looks, "/media/STICK"));
        // Looked at again after the wait between looks.
        QVERIFY2(took >= (looks - 1) * rig.trigger.recheck_ms, qPrintable(QString::number(took)));
        QVERIFY(rig.deliver({"!system=GEOM subsystem=DEV type=CREATE cdev=msdosfs/STICK\n"}));
        QCOMPARE(rig.entered(), QStringList(looks + looks_then, "/media/STICK"));
        QCOMPARE(rig.reports, reports);
    }

    // The partitions an image copy makes appear while vorlix still writes
    // the disk: a disk its job marks is not entered, whoever else left a
    // file of that name; only a regular file held locked is a mark.
    void a_disk_vorlix_writes()
    {
        set_up_machine(true);
        Rig rig;
        QVERIFY(rig.devd.listen());
        rig.trigger.table_read(table_now());
        QVERIFY(rig.devd.take_client(2000));
        const QString dir = rig.dir.path() + "/";
        QVERIFY(QFile::link("/etc/hostname", dir + ".vorlix-writing-da0.planted"));
        QFile unlocked(dir + ".vorlix-writing-da0.left");
        QVERIFY(unlocked.open(QIODevice::WriteOnly));
        QFile mark(dir + ".vorlix-writing-da0.Xk3b9q");
        QVERIFY(mark.open(QIODevice::WriteOnly));
        QCOMPARE(flock(mark.handle(), LOCK_EX | LOCK_NB), 0);
        QVERIFY(rig.deliver(plugged({"da0s1", "msdosfs/STICK"})));
        QCOMPARE(rig.entered(), QStringList{});

        mark.close();
        QVERIFY(rig.deliver(plugged({"da0s1"})));
        QCOMPARE(rig.entered(), QStringList{"/media/STICK"});
    }

    // Without an autofs mount of the -media map devd's socket is not even
    // connected; once the mount goes, it is let go.
    void only_with_autofs()
    {
        set_up_machine(false);
        Rig rig;
        QVERIFY(rig.devd.listen());
        rig.trigger.table_read(table_now());
        QCOMPARE(rig.trigger.descriptor(), -1);
        QCOMPARE(rig.trigger.timeout_ms(), -1);
        QVERIFY(!rig.devd.take_client(200));

        set_up_machine(true);
        rig.trigger.table_read(table_now());
        QVERIFY(rig.devd.take_client(2000));
        set_up_machine(false);
        rig.trigger.table_read(table_now());
        QCOMPARE(rig.trigger.descriptor(), -1);
        QCOMPARE(rig.trigger.timeout_ms(), -1);
        QVERIFY(!rig.devd.send(plugged({"da0s1"}).first().toUtf8()));
        QCOMPARE(rig.entered(), QStringList{});
    }

    // A folder whose automounter never answers: the child is given up on
    // at the bound and ended, and the stick is not entered again.
    void a_key_that_never_answers()
    {
        set_up_machine(true);
        Rig rig;
        const std::string log = rig.log_path;
        rig.trigger.look_up = [log](const std::string &) {
            const std::string pid = std::to_string(getpid());
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT, 0600);
            if (fd < 0 || write(fd, pid.data(), pid.size()) != ssize_t(pid.size()))
                _exit(1);
            close(fd);
            for (;;)
                pause();
            return std::string();
        };
        rig.trigger.limit_ms = 400;
        QVERIFY(rig.devd.listen());
        rig.trigger.table_read(table_now());
        QVERIFY(rig.devd.take_client(2000));
        const long long start = now_ms();
        QVERIFY(rig.deliver(plugged({"da0s1", "msdosfs/STICK"})));
        const long long took = now_ms() - start;
        QVERIFY2(took >= 400 && took < 3000, qPrintable(QString::number(took)));
        QCOMPARE(rig.reports.size(), 1);
        QVERIFY2(rig.reports[0].startsWith("no answer from /media/STICK within"), qPrintable(rig.reports[0]));
        QFile f(QString::fromStdString(log));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const pid_t child = pid_t(f.readAll().toLong());
        QVERIFY(child > 0 && child != getpid());
        QVERIFY(kill(child, 0) != 0 && errno == ESRCH);

        QVERIFY(rig.deliver(plugged({"msdosfs/STICK"})));
        QCOMPARE(rig.reports.size(), 1);
    }

    // devd restarted: its socket closes, is not there for a moment, then
    // is served again. The trigger connects again after a short wait, and
    // a stick plugged in then gets its folder entered.
    void devd_restarted()
    {
        set_up_machine(true);
        Rig rig;
        rig.trigger.first_retry_ms = 50;
        QVERIFY(rig.devd.listen());
        rig.trigger.table_read(table_now());
        QVERIFY(rig.devd.take_client(2000));
        QVERIFY(rig.deliver({"!system=IFNET subsystem=em0 type=LINK_UP\n"}));

        rig.devd.stop();
        QVERIFY(readable(rig.trigger.descriptor(), 2000));
        rig.trigger.wake(true);
        QCOMPARE(rig.trigger.descriptor(), -1);
        QVERIFY(rig.trigger.timeout_ms() > 0 && rig.trigger.timeout_ms() <= 50);

        // Not back yet: a longer wait.
        usleep(useconds_t(rig.trigger.timeout_ms() + 5) * 1000);
        rig.trigger.wake(false);
        QCOMPARE(rig.trigger.descriptor(), -1);
        QVERIFY(rig.trigger.timeout_ms() > 50 && rig.trigger.timeout_ms() <= 100);

        QVERIFY(rig.devd.listen());
        usleep(useconds_t(rig.trigger.timeout_ms() + 5) * 1000);
        rig.trigger.wake(false);
        QVERIFY(rig.trigger.descriptor() >= 0);
        QCOMPARE(rig.trigger.timeout_ms(), -1);
        QVERIFY(rig.devd.take_client(2000));
        QVERIFY(rig.deliver(plugged({"da0s1", "msdosfs/STICK"})));
        QCOMPARE(rig.entered(), QStringList{"/media/STICK"});
    }

    // A devd that hangs up at once (it takes no more listeners) is tried
    // less and less often, then only at the next mount news: never a loop
    // that keeps the agent awake.
    void a_devd_that_hangs_up_at_once()
    {
        set_up_machine(true);
        Rig rig;
        rig.trigger.first_retry_ms = 50;
        rig.trigger.last_retry_ms = 400;
        QVERIFY(rig.devd.listen());
        rig.trigger.table_read(table_now());
        QList<int> waits;
        for (int round = 0; round < 10 && rig.trigger.descriptor() >= 0; ++round) {
            QVERIFY(rig.devd.take_client(2000));
            rig.devd.drop_client();
            QVERIFY(readable(rig.trigger.descriptor(), 2000));
            rig.trigger.wake(true);
            QCOMPARE(rig.trigger.descriptor(), -1);
            const int wait = rig.trigger.timeout_ms();
            if (wait < 0)
                break;
            waits << wait;
            usleep(useconds_t(wait + 2) * 1000);
            rig.trigger.wake(false);
        }
        QCOMPARE(waits.size(), 4);
        for (int i = 0; i < waits.size(); ++i)
            QVERIFY2(waits[i] > (50 << i) / 2 && waits[i] <= 50 << i, qPrintable(QString::number(waits[i])));
        QCOMPARE(rig.trigger.timeout_ms(), -1);
        rig.trigger.table_read(table_now());
        QVERIFY(rig.trigger.descriptor() >= 0);
    }

    // --- FUSE sticks -------------------------------------------------------

    // FreeBSD mounts exFAT and NTFS only through FUSE and names every such
    // mount after /dev/fuse. Each stick gets its window all the same, with
    // the device its daemon reads, where that daemon is root's or the
    // user's; a FUSE mount that cannot be traced is a volume of its own.
    void fuse_sticks_data()
    {
        QTest::addColumn<int>("see_other_uids");
        QTest::addColumn<long>("eve_daemon"); // pid of another user's daemon on da0s1, 0: none
        QTest::addColumn<bool>("sshfs");      // the user's sshfs mounted as well
        QTest::addColumn<QStringList>("asked"); // whose admission was asked
        QTest::addColumn<QStringList>("windows");

        const QStringList both = {"/media/da0s1 /dev/da0s1 fusefs.exfat", "/media/da1p1 /dev/da1p1 fusefs.ntfs"};
        QTest::newRow("two sticks at once") << 1 << 0L << false << QStringList{"/media/da0s1", "/media/da1p1"} << both;
        QTest::newRow("beside another user's daemon on the user's stick")
            << 1 << 902L << false << QStringList{"/media/da0s1", "/media/da1p1", "/home/eve/mnt"} << both;
        QTest::newRow("beside the user's sshfs")
            << 1 << 0L << true << QStringList{"/media/da0s1", "/media/da1p1", "/media/net"} << both;
        // Root's daemons unseen: which stick is which cannot be told, and
        // neither mount passes for the other.
        QTest::newRow("two sticks at once, their daemons unseen")
            << 0 << 0L << false << QStringList{"/media/da0s1", "/media/da1p1"} << QStringList{};
    }

    void fuse_sticks()
    {
        QFETCH(int, see_other_uids);
        QFETCH(long, eve_daemon);
        QFETCH(bool, sshfs);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, windows);

        fake::tree = fake::tree_file("two-fuse-sticks.xml");
        fake::sysctls = {{"kern.cam.da.0.flags", "0x2a18<PACK_REMOVABLE,ROTATING,SCTX_INIT,PROBED,ANNOUNCED>"},
                         {"kern.cam.da.1.flags", "0x2a18<PACK_REMOVABLE,ROTATING,SCTX_INIT,PROBED,ANNOUNCED>"}};
        fake::numbers = {{"security.bsd.see_other_uids", see_other_uids}};
        QStringList admitted;
        VolumeWatcher watcher([&admitted](const MountEntry &m) {
            admitted << QString::fromStdString(m.dir);
            return mount_on_removable_disk(m, "/sys");
        });
        watcher.begin(table_now());

        fake::processes = {fuse_daemon(800, "da0s1", "/media/da0s1", 0), fuse_daemon(801, "da1p1", "/media/da1p1", 0)};
        mount_fuse("/media/da0s1", "fusefs.exfat", 0);
        mount_fuse("/media/da1p1", "fusefs.ntfs", 0);
        if (sshfs) {
            fake::processes.append(fuse_daemon(900, "", "/media/net", 1001));
            mount_fuse("/media/net", "fusefs.sshfs", 1001);
        }
        if (eve_daemon != 0) {
            fake::processes.append(fuse_daemon(eve_daemon, "da0s1", "/home/eve/mnt", 1002));
            mount_fuse("/home/eve/mnt", "fusefs.exfat", 1002);
        }
        QCOMPARE(started(watcher.update(table_now())), windows);
        QCOMPARE(admitted, asked);
    }

    // Sticks plugged in one after another, their daemons unseen: the GEOM
    // tree tells each by the node its daemon opened as it came.
    void fuse_sticks_one_after_another()
    {
        fake::tree = fake::tree_file("two-fuse-sticks.xml");
        fake::set_node_mode("da0s1", "r0w0e0");
        fake::set_node_mode("da1p1", "r0w0e0");
        fake::sysctls = {{"kern.cam.da.0.flags", "0x2a18<PACK_REMOVABLE,ROTATING,SCTX_INIT,PROBED,ANNOUNCED>"},
                         {"kern.cam.da.1.flags", "0x2a18<PACK_REMOVABLE,ROTATING,SCTX_INIT,PROBED,ANNOUNCED>"}};
        fake::numbers = {{"security.bsd.see_other_uids", 0}};
        fake::processes = {fuse_daemon(800, "da0s1", "/media/da0s1", 0), fuse_daemon(801, "da1p1", "/media/da1p1", 0)};
        VolumeWatcher watcher([](const MountEntry &m) { return mount_on_removable_disk(m, "/sys"); });
        watcher.begin(table_now());

        fake::set_node_mode("da0s1", "r1w1e0");
        mount_fuse("/media/da0s1", "fusefs.exfat", 0);
        QCOMPARE(started(watcher.update(table_now())), QStringList{"/media/da0s1 /dev/da0s1 fusefs.exfat"});
        fake::set_node_mode("da1p1", "r1w1e0");
        mount_fuse("/media/da1p1", "fusefs.ntfs", 0);
        QCOMPARE(started(watcher.update(table_now())), QStringList{"/media/da1p1 /dev/da1p1 fusefs.ntfs"});
        QCOMPARE(fake::arrays_outstanding(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFreebsdWatch)
#include "test_freebsd_watch.moc"
