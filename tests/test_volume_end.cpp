#include "binary_fixture.h"
#include "private_mounts.h"
#include "system_needs.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

using Calls = QList<QList<QByteArray>>;
using Texts = QList<QByteArray>;

// The window ends with its volume. In a private mount namespace (root), a
// tmpfs stands for a stick, or fuse2fs serves a real ext4 filesystem from
// an image file; once the window (or what the case opens) is up, the
// volume is unmounted from outside, as a file manager's eject or an
// automounter's timer would. The program must then end with 0, on its
// own and within a few seconds of the moment it may, running nothing;
// and it must stay while the volume is still mounted somewhere.
class TestVolumeEnd : public QObject
{
    Q_OBJECT

    QString lacking;
    QString lacking_fuse;

private slots:
    void initTestCase()
    {
        lacking = private_mounts_unavailable();
        if (!QFile::exists("/dev/fuse"))
            lacking_fuse = "no /dev/fuse here";
        for (const char *tool : {"fuse2fs", "mkfs.ext4"})
            if (lacking_fuse.isEmpty() && program_on_path(tool).isEmpty()
                && !QFile::exists(QString("/usr/sbin/") + tool) && !QFile::exists(QString("/sbin/") + tool))
                lacking_fuse = QString("no %1 here").arg(tool);
    }

    void unmounted_elsewhere_data()
    {
        QTest::addColumn<bool>("fuse");         // fuse2fs on an image file, else a tmpfs
        QTest::addColumn<QByteArray>("setup");  // sh, once $DEV is mounted on $MNT/vol
        QTest::addColumn<QString>("script");    // the hook's steps before the wait; DISK the disk's name
        QTest::addColumn<QByteArray>("when");   // sh condition: the moment to act from outside
        QTest::addColumn<QByteArray>("outside");
        QTest::addColumn<bool>("held");         // a box stays open until a moment after that
        QTest::addColumn<bool>("ends");         // with 0, else the window stays
        QTest::addColumn<Texts>("boxes");
        QTest::addColumn<Calls>("calls");       // MNT the fixture's folder

        // The window waits for the user once the script's first step has
        // run, and with it all that the program does as its window first
        // shows: the look at its volume included.
        const QString look = "windows";
        const QByteArray window = "grep -qx 'windows VorlixMenu' \"$HOOK_LOG\"";
        const QByteArray chooser = "grep -qx 'shown QFormatMenu' \"$HOOK_LOG\"";
        const QByteArray box = "grep -qx 'shown QMessageBox' \"$HOOK_LOG\"";
        const QByteArray umount = "umount \"$MNT/vol\"";
        for (bool fuse : {false, true}) {
            const QByteArray kind = fuse ? "FUSE: " : "tmpfs: ";
            QTest::newRow(kind + "while the window waits")
                << fuse << QByteArray() << look << window << umount << false << true << Texts{} << Calls{};
            QTest::newRow(kind + "with the format chooser open")
                << fuse << QByteArray() << "click:Reformat DISK" << chooser << umount << false << true << Texts{}
                << Calls{};
        }
        // Another user's trap for whoever looks at the programs' open files:
        // the window still ends.
        QTest::newRow("FUSE: with a link of /dev/shm into a stopped filesystem")
            << true << stuck_link_planted() << look << window << umount << false << true << Texts{} << Calls{};
        // Judged once what the user has open returns: a box, a companion.
        QTest::newRow("tmpfs: while the close-refusal box is open")
            << false << QByteArray() << "close:VorlixMenu" << box << umount << true << true
            << Texts{"Use Unmount to unmount and close this window."} << Calls{};
        QTest::newRow("tmpfs: while the file manager runs")
            << false << QByteArray() << "click:Open file manager" << QByteArray("[ -e \"$MNT.fm\" ]") << umount
            << true << true << Texts{} << Calls{{"fm", "MNT/vol"}};
        // Still mounted elsewhere: the window stays.
        QTest::newRow("tmpfs: mounted on a second folder, one unmounted")
            << false << QByteArray("mount --bind \"$MNT/vol\" \"$MNT/bound\"") << look << window << umount
            << false << false << Texts{} << Calls{};
        QTest::newRow("FUSE: mounted on a second folder, one unmounted")
            << true << QByteArray("mount --bind \"$MNT/vol\" \"$MNT/bound\"") << look << window << umount
            << false << false << Texts{} << Calls{};
        QTest::newRow("tmpfs: moved to another folder")
            << false << QByteArray() << look << window << QByteArray("mount --move \"$MNT/vol\" \"$MNT/other\"")
            << false << false << Texts{} << Calls{};
        // A volume never seen mounted is not taken for one that went.
        QTest::newRow("tmpfs: never mounted, while others come and go")
            << false << QByteArray("umount \"$MNT/vol\"") << look << window
            << QByteArray("mount -t tmpfs other \"$MNT/other\" && umount \"$MNT/other\"") << false << false << Texts{}
            << Calls{};
    }

    void unmounted_elsewhere()
    {
        QFETCH(bool, fuse);
        QFETCH(QByteArray, setup);
        QFETCH(QString, script);
        QFETCH(QByteArray, when);
        QFETCH(QByteArray, outside);
        QFETCH(bool, held);
        QFETCH(bool, ends);
        QFETCH(Texts, boxes);
        QFETCH(Calls, calls);
        if (!lacking.isEmpty())
            QSKIP(qPrintable(lacking));
        if (fuse && !lacking_fuse.isEmpty())
            QSKIP(qPrintable(lacking_fuse));

        BinaryFixture fx;
        const QByteArray mnt = fx.path("mnt").toLocal8Bit();
        // The stick's partition: a disk image file for fuse2fs, a mere
        // name for the tmpfs.
        const QString dev = fx.path("da0s1");
        if (fuse) {
            QProcess mkfs;
            mkfs.start("/sbin/mkfs.ext4", {"-q", "-F", "-O", "^has_journal", dev, "8M"});
            QVERIFY(mkfs.waitForFinished() && mkfs.exitCode() == 0);
        }
        fx.env.insert("MNT", QString::fromLocal8Bit(mnt));
        fx.env.insert("DEV", dev);
        fx.env.insert("LEFT", fx.path("left"));
        fx.env.insert("HOOK_LOG", fx.path("hook.log"));
        fx.env.insert("WHEN", QString::fromLocal8Bit(when));
        fx.env.insert("OUTSIDE", QString::fromLocal8Bit(outside));
        fx.env.insert("HOLD", fx.path("hold"));
        fx.env.insert("STUCK", fx.path("stuck"));
        fx.env.insert("ENDED", fx.path("ended"));
        fx.env.insert("HOLD_FOR", held ? "0.5" : "0");
        fx.env.insert("VORLIX_HOOK_HOLD", fx.path("hold"));
        fx.env.insert("VORLIX_FM", "fm");
        fx.add_fake("fm", ": > \"$MNT.fm\"\nuntil [ -e \"$HOLD\" ]; do /bin/sleep 0.05; done");
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        fx.add_fake("draskel", ": > \"$2\"");
        // Once the moment has come: the time noted, the deed from outside,
        // then the box or the companion let go, and a while later word that
        // the program has had its chance to see it all. The time comes
        // first: a program that ends at once ends the fixture, and with it
        // this subshell, before any later line of it runs.
        const QByteArray mount = fuse ? "fuse2fs \"$DEV\" \"$MNT/vol\"" : "mount -t tmpfs \"$DEV\" \"$MNT/vol\"";
        fx.wrapper = private_mounts_wrapper(
            "mkdir -p \"$MNT/vol\" \"$MNT/bound\" \"$MNT/other\"\n" + mount + "\n" + setup
            + "\n(tries=0\nuntil eval \"$WHEN\" 2>/dev/null; do\n"
              "  tries=$((tries + 1)); [ $tries -lt 500 ] || exit; sleep 0.02\ndone\n"
              "sleep 0.2\ndate +%s%N > \"$MNT.acted\"\neval \"$OUTSIDE\"\nsleep \"$HOLD_FOR\"\n: > \"$HOLD\"\n"
              "sleep 1\n: > \"$MNT.settled\") &\n"
              "acting=$!\n"
              "trap 'kill \"$acting\" 2>/dev/null || :; umount -l \"$MNT/vol\" \"$MNT/bound\" \"$MNT/other\" 2>/dev/null || :;"
              " eval \"$undo\"' EXIT");

        script.replace("DISK", fx.path("da0"));
        QStringList steps = script.isEmpty() ? QStringList() : QStringList{script};
        // The window waits as long as it lasts; one that stays is seen.
        steps << (ends ? "await:" + fx.path("never") : "await:" + fx.path("mnt.settled") + "|windows");
        const BinaryRun r = fx.run({mnt + "/vol", dev.toLocal8Bit(), "ext4"}, steps.join('|'), 15000);
        QVERIFY2(r.finished, r.err.constData());
        QVERIFY2(r.exit_code == (ends ? 0 : 99), qPrintable(QString("exit %1\n").arg(r.exit_code) + QString::fromLocal8Bit(r.err)
                                                              + QString::fromUtf8(r.log.join('\n'))));
        QCOMPARE(r.boxes(), boxes);
        Calls expected;
        for (QList<QByteArray> call : calls) {
            for (QByteArray &arg : call)
                arg.replace("MNT", mnt);
            expected << call;
        }
        QCOMPARE(fx.calls(), expected);
        if (ends) {
            // From the unmount to the program's own end, as the shell that
            // ran it saw it: not the daemons' ends, nor the fixture's.
            // Seconds on a loaded machine; a missed news would be never.
            QFile acted(fx.path("mnt.acted")), ended(fx.path("ended"));
            QVERIFY(acted.open(QIODevice::ReadOnly) && ended.open(QIODevice::ReadOnly));
            const qint64 acted_at = acted.readAll().trimmed().toLongLong() / 1000000;
            const qint64 ended_at = ended.readAll().trimmed().toLongLong() / 1000000;
            QVERIFY2(ended_at - acted_at < 5000, qPrintable(QString("%1 ms").arg(ended_at - acted_at)));
        } else {
            QVERIFY(r.log.contains("windows VorlixMenu"));
        }
    }
};

QTEST_GUILESS_MAIN(TestVolumeEnd)
#include "test_volume_end.moc"
