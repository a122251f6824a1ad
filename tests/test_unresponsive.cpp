#include "binary_fixture.h"
#include "private_mounts.h"
#include "system_needs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

using Texts = QList<QByteArray>;

static const QByteArray unmount_failed_for = "Unmount failed for MNT.\nWas the device improperly removed before "
                                             "unmounting?\nRun \"pkill vorlix\" to force termination.\n";
static const QByteArray held_by_daemon = "vorlix: DEV is still in use by fuse2fs (pid PID).\n";
static const QByteArray stopped = "vorlix: unmount failed: kelmo was stopped\n";
static const QByteArray busy = "vorlix: unmount failed: Device or resource busy\n";
static const QByteArray format_done = "Format complete.  You may need to disconnect and\n"
                                      "reconnect the device to mount all new filesystems.";

// A stick that stops answering, or whose FUSE daemon is still writing
// after its unmount: a real filesystem served by fuse2fs, from a disk image
// file or a loop device, in a private mount namespace, whose daemon the
// case stops (SIGSTOP) or lets go on. The window must answer within its
// bounds, never take a failure for success, and stay while the stick is
// still mounted. The bounds are shortened through the test hook: a second
// for a filesystem to answer and for the system to let go of a device, a
// second and a half before the user is asked about a waiting helper.
class TestUnresponsive : public QObject
{
    Q_OBJECT

    QString lacking;

private slots:
    void initTestCase()
    {
        lacking = private_mounts_unavailable();
        if (lacking.isEmpty() && !QFile::exists("/dev/fuse"))
            lacking = "no /dev/fuse here";
        for (const char *tool : {"fuse2fs", "mkfs.ext4"})
            if (lacking.isEmpty() && program_on_path(tool).isEmpty()
                && !QFile::exists(QString("/usr/sbin/") + tool) && !QFile::exists(QString("/sbin/") + tool))
                lacking = QString("no %1 here").arg(tool);
    }

    void a_stick_that_stops_answering_data()
    {
        QTest::addColumn<bool>("on_loop");     // fuse2fs serves a loop device, not the image file
        QTest::addColumn<QByteArray>("setup"); // once mounted; $DAEMON is fuse2fs's pid
        QTest::addColumn<QByteArray>("kelmo"); // the helper's body, after it notes its pid
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("answers");  // to the question about the waiting helper
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<Texts>("boxes");      // MNT the folder, DEV the device, PID the daemon
        QTest::addColumn<bool>("tool_ran");

        const QByteArray stop = "kill -STOP \"$DAEMON\"";
        const QByteArray umount = "exec /bin/umount \"$2\"";
        // Stopped again as its filesystem goes, so that it still holds the
        // disk after the unmount: its last write still queued.
        const QByteArray holds_on = "kill -STOP \"$(/bin/cat \"$DAEMON_PID\")\"\nexec /bin/umount -l \"$2\"";
        const QByteArray ends_soon = "kill -STOP \"$(/bin/cat \"$DAEMON_PID\")\"\n/bin/umount -l \"$2\" || exit\n"
                                     "(/bin/sleep 0.4; kill -CONT \"$(/bin/cat \"$DAEMON_PID\")\") &";
        const QString info = "click:Filesystem info|windows";
        const QString unmount = "click:Unmount MNT|windows";
        const QString reformat = "click:Reformat DEV|click:EXT4 (Linux)|windows";
        const QString copy = "click:Copy disk image to DEV|windows";
        for (bool loop : {false, true}) {
            const QByteArray on = loop ? " (loop device)" : " (image file)";
            QTest::newRow("stopped: Filesystem info says so" + on)
                << loop << stop << umount << info << QString() << 99
                << Texts{"vorlix: MNT is not responding.\n", "Cannot get filesystem info."} << false;
            QTest::newRow("stopped: Unmount, the helper stopped" + on)
                << loop << stop << umount << unmount << "Stop" << 99 << Texts{held_by_daemon, unmount_failed_for}
                << false;
            QTest::newRow("stopped: Reformat, the helper stopped" + on)
                << loop << stop << umount << reformat << "Stop" << 99
                << Texts{stopped, held_by_daemon, "Failed to unmount.", "Format failed."} << false;
            QTest::newRow("stopped: Copy, the helper stopped" + on)
                << loop << stop << umount << copy << "Stop" << 99
                << Texts{stopped, held_by_daemon, "Failed to unmount.", "Image copy failed."} << false;
            // The question goes by itself once the helper is done.
            QTest::newRow("stopped, then answering while asked: Unmount" + on)
                << loop << stop + "\n(sleep 2.5; kill -CONT \"$DAEMON\") &" << umount << unmount << "wait" << 0
                << Texts{} << false;
            QTest::newRow("still holding after its unmount: Unmount fails" + on)
                << loop << QByteArray() << holds_on << unmount << QString() << 99
                << Texts{held_by_daemon, unmount_failed_for} << false;
            QTest::newRow("still holding after its unmount: no tool runs" + on)
                << loop << QByteArray() << holds_on << reformat << QString() << 69
                << Texts{busy, held_by_daemon, "Failed to unmount.", "Format failed."} << false;
            QTest::newRow("letting go a moment after its unmount: the tool runs" + on)
                << loop << QByteArray() << ends_soon << reformat << QString() << 0 << Texts{format_done} << true;
            // Another user's trap for whoever looks at the programs' open
            // files, while the stick itself answers: Unmount still does.
            QTest::newRow("a link of /dev/shm into a stopped filesystem: Unmount" + on)
                << loop << stuck_link_planted() << umount << unmount << QString() << 0 << Texts{} << false;
        }
    }

    void a_stick_that_stops_answering()
    {
        QFETCH(bool, on_loop);
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, kelmo);
        QFETCH(QString, script);
        QFETCH(QString, answers);
        QFETCH(int, exit_code);
        QFETCH(Texts, boxes);
        QFETCH(bool, tool_ran);
        if (!lacking.isEmpty())
            QSKIP(qPrintable(lacking));

        BinaryFixture fx;
        QByteArray device;
        std::unique_ptr<LoopDisk> disk;
        if (on_loop) {
            disk = std::make_unique<LoopDisk>(fx.path(""));
            if (disk->node.isEmpty())
                QSKIP(qPrintable(disk->why_not));
            device = disk->node;
        } else {
            device = fx.path("stick").toLocal8Bit();
            QProcess mkfs;
            mkfs.start("/sbin/mkfs.ext4", {"-q", "-F", "-O", "^has_journal", QString::fromLocal8Bit(device), "8M"});
            QVERIFY(mkfs.waitForFinished() && mkfs.exitCode() == 0);
        }
        const QByteArray mnt = fx.path("mnt").toLocal8Bit();
        QDir().mkpath(QString::fromLocal8Bit(mnt));
        fx.env.insert("MNT", QString::fromLocal8Bit(mnt));
        fx.env.insert("DEV", QString::fromLocal8Bit(device));
        fx.env.insert("DAEMON_PID", fx.path("daemon.pid"));
        fx.env.insert("KELMO_PID", fx.path("kelmo.pid"));
        fx.env.insert("STUCK", fx.path("stuck"));
        fx.env.insert("VORLIX_HOOK_WAIT", "1000,1500,1000");
        fx.env.insert("VORLIX_HOOK_ANSWERS", answers);
        fx.env.insert("VORLIX_HOOK_OPEN", fx.write_file("os.img", "image bytes"));
        // The daemon goes on again and the stick goes, whatever the case
        // did; only then does the namespace end.
        fx.wrapper = {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-ec",
                      "fakes=$PATH; PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"
                      "fuse2fs -f \"$DEV\" \"$MNT\" > \"$MNT.log\" 2>&1 &\n"
                      "DAEMON=$!\necho \"$DAEMON\" > \"$DAEMON_PID\"\n"
                      "undo=:\n"
                      "cleanup() {\n  kill -CONT $DAEMON 2>/dev/null || :\n  umount -l \"$MNT\" 2>/dev/null || :\n"
                      "  eval \"$undo\"\n  wait $DAEMON || :\n}\n"
                      "trap cleanup EXIT\n"
                      "tries=0\n"
                      "until grep -q \" $MNT \" /proc/self/mountinfo; do\n"
                      "  tries=$((tries + 1)); [ $tries -lt 100 ] || exit 97; sleep 0.05\ndone\n"
                      + setup + "\nstatus=0\nPATH=$fakes \"$@\" || status=$?\ntrap - EXIT\ncleanup\nexit $status",
                      "sh"};
        fx.add_fake("kelmo", "echo $$ > \"$KELMO_PID\"\n" + kelmo);
        fx.add_fake_terminal();
        fx.add_fake("draskel", ": > \"$2\"");
        fx.add_fake("pernix", ": > \"$2\"");

        script.replace("MNT", QString::fromLocal8Bit(mnt)).replace("DEV", QString::fromLocal8Bit(device));
        QElapsedTimer clock;
        clock.start();
        const BinaryRun r = fx.run({mnt, device, "ext4"}, script, 30000);
        QVERIFY2(r.finished, r.err.constData());
        // Every bound is seconds: nothing waited for good.
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(r.exit_code == exit_code,
                 qPrintable(QString("exit %1\n").arg(r.exit_code) + QString::fromUtf8(r.log.join('\n'))));

        QFile pid_file(fx.path("daemon.pid"));
        QVERIFY(pid_file.open(QIODevice::ReadOnly));
        const QByteArray daemon = pid_file.readAll().trimmed();
        Texts want;
        for (QByteArray box : boxes)
            want.append(box.replace("MNT", mnt).replace("DEV", device).replace("PID", daemon));
        QCOMPARE(r.boxes(), want);

        // Asked about the helper where the case answers, and nowhere else.
        const QList<QByteArray> asked = r.lines_starting_with("ask ");
        QCOMPARE(asked.size(), answers.isEmpty() ? 0 : 1);
        if (answers == "wait")
            QVERIFY(r.log.contains("answer went"));
        // The window stays while the stick is mounted; the hook logs it.
        if (exit_code == 99)
            QVERIFY(!r.lines_starting_with("windows VorlixMenu").isEmpty());

        bool ran = false;
        for (const QList<QByteArray> &call : fx.calls())
            ran = ran || call.value(0) == "draskel" || call.value(0) == "pernix";
        QCOMPARE(ran, tool_ran);
        // A helper that was stopped is gone, not left to finish later.
        QFile kelmo_pid(fx.path("kelmo.pid"));
        if (answers == "Stop" && kelmo_pid.open(QIODevice::ReadOnly)) {
            const pid_t pid = kelmo_pid.readAll().trimmed().toInt();
            QVERIFY(pid > 0);
            QFile stat(QString("/proc/%1/stat").arg(pid));
            QVERIFY2(!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "), "the helper still runs");
        }
    }
};

QTEST_GUILESS_MAIN(TestUnresponsive)
#include "test_unresponsive.moc"
