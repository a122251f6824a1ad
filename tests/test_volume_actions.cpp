#include "binary_fixture.h"
#include "private_mounts.h"
#include "system_needs.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using Calls = QList<QList<QByteArray>>;
using Texts = QList<QByteArray>;

static const QByteArray unmount_failed_for(const QByteArray &mount_point)
{
    return "Unmount failed for " + mount_point
           + ".\nWas the device improperly removed before unmounting?\nRun \"pkill vorlix\" to force termination.\n";
}

// The actions that do not write to the disk, on the real binary with fake
// commands on PATH.
class TestVolumeActions : public QObject
{
    Q_OBJECT

private slots:
    void unmount_data()
    {
        QTest::addColumn<QByteArray>("helper"); // null: no kelmo on PATH
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<Texts>("boxes");
        QTest::addColumn<int>("helper_runs");

        const QByteArray mp = "/media/da0s1";
        QTest::newRow("helper succeeds: quiet exit 0") << QByteArray("exit 0") << 0 << Texts{} << 1;
        QTest::newRow("helper fails: message, try again")
            << QByteArray("exit 1") << 99 << Texts{unmount_failed_for(mp), unmount_failed_for(mp)} << 2;
        QTest::newRow("helper killed by a signal")
            << QByteArray("kill -9 $$") << 99 << Texts{unmount_failed_for(mp), unmount_failed_for(mp)} << 2;
        QTest::newRow("helper missing")
            << QByteArray() << 99
            << Texts{"vorlix: exec failed: No such file or directory\n", unmount_failed_for(mp),
                     "vorlix: exec failed: No such file or directory\n", unmount_failed_for(mp)}
            << 0;
    }

    void unmount()
    {
        QFETCH(QByteArray, helper);
        QFETCH(int, exit_code);
        QFETCH(Texts, boxes);
        QFETCH(int, helper_runs);
        if (const char *why = lacks_mount_table())
            QSKIP(why); // the volume counts as gone only when the table says so

        BinaryFixture fx;
        if (!helper.isNull())
            fx.add_fake("kelmo", helper);
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   "click:Unmount /media/da0s1|click:Unmount /media/da0s1");
        QVERIFY(r.finished);
        QCOMPARE(r.exit_code, exit_code);
        QCOMPARE(r.boxes(), boxes);
        QCOMPARE(fx.calls(), Calls(helper_runs, {"kelmo", "umount", "/media/da0s1"}));
    }

    // The window closes only once the stick is safe to pull: no filesystem
    // of its device is left mounted anywhere, and no filesystem of another
    // device was unmounted. A real block device (a loop device) mounted in
    // a private mount namespace, with a helper that really unmounts.
    void unmount_leaves_nothing_of_the_volume_data()
    {
        QTest::addColumn<QByteArray>("setup");     // after "mount $DEV $MNT/vol"
        QTest::addColumn<QByteArray>("helper");
        QTest::addColumn<QByteArray>("device");    // as the program is given it
        QTest::addColumn<int>("presses");          // of the Unmount button
        QTest::addColumn<QList<QByteArray>>("unmounted");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QList<QByteArray>>("left"); // folder and source, under $MNT
        // Before each failure box: the line that says what still holds the
        // volume (DEV its node, MNT the fixture's folder); empty for none.
        QTest::addColumn<QByteArray>("why");

        const QByteArray umount = "exec /bin/umount \"$2\"";
        QTest::newRow("mounted once") << QByteArray() << umount << QByteArray("DEV") << 1
                                      << QList<QByteArray>{"vol"} << 0 << QList<QByteArray>{} << QByteArray();
        QTest::newRow("stacked twice on its folder")
            << QByteArray("mount --bind \"$MNT/vol\" \"$MNT/vol\"") << umount << QByteArray("DEV") << 1
            << QList<QByteArray>{"vol", "vol"} << 0 << QList<QByteArray>{} << QByteArray();
        QTest::newRow("bound elsewhere too")
            << QByteArray("mount --bind \"$MNT/vol\" \"$MNT/bound\"") << umount << QByteArray("DEV") << 1
            << QList<QByteArray>{"vol", "bound"} << 0 << QList<QByteArray>{} << QByteArray();
        // Neither name says it is the same device; its number does.
        QTest::newRow("mounted elsewhere under another name, given oddly spelled")
            << QByteArray("ln -s \"$DEV\" \"$MNT/link\"\n"
                          "mount --no-canonicalize -t ext4 \"$MNT/link\" \"$MNT/other\"")
            << umount << QByteArray("/dev//./DEVNAME") << 1 << QList<QByteArray>{"vol", "other"} << 0
            << QList<QByteArray>{} << QByteArray();
        // The helper would take the stranger away and leave the stick.
        QTest::newRow("covered by another device's filesystem")
            << QByteArray("mount -t tmpfs stranger \"$MNT/vol\"") << umount << QByteArray("DEV") << 1
            << QList<QByteArray>{} << 99 << QList<QByteArray>{"vol DEV", "vol stranger"}
            << QByteArray("vorlix: DEV is still mounted on MNT/vol.\n");
        QTest::newRow("the helper says done, but it is not")
            << QByteArray() << QByteArray("exit 0") << QByteArray("DEV") << 1 << QList<QByteArray>{"vol", "vol"} << 99
            << QList<QByteArray>{"vol DEV"} << QByteArray("vorlix: DEV is still mounted on MNT/vol.\n");
        // mountinfo lists a mount moved onto the folder before the volume
        // beneath it; the helper would still take the stranger away.
        QTest::newRow("covered by a filesystem moved onto its folder")
            << QByteArray("umount \"$MNT/vol\"\nmkdir \"$MNT/s\"\nmount -t tmpfs stranger \"$MNT/s\"\n"
                          "mount \"$DEV\" \"$MNT/vol\"\nmount --move \"$MNT/s\" \"$MNT/vol\"")
            << umount << QByteArray("DEV") << 1 << QList<QByteArray>{} << 99
            << QList<QByteArray>{"vol stranger", "vol DEV"} << QByteArray("vorlix: DEV is still mounted on MNT/vol.\n");
        // Still mounted where this namespace cannot see it: the kernel's
        // claim on the device says so.
        QTest::newRow("mounted in another mount namespace too")
            << QByteArray("unshare --mount --propagation private sh -c "
                          "'mount \"$DEV\" \"$MNT/other\" && : > \"$MNT.ready\"; exec sleep 60' &\n"
                          "trap \"kill $!\" EXIT\n"
                          "while [ ! -e \"$MNT.ready\" ]; do sleep 0.05; done")
            << umount << QByteArray("DEV") << 1 << QList<QByteArray>{"vol"} << 99 << QList<QByteArray>{}
            << QByteArray("vorlix: DEV is still mounted in another mount namespace.\n");
        // The first press unmounts the folder but not the busy bound copy;
        // the second, once that is free, must not fail on the empty folder.
        QTest::newRow("a second press after half an unmount")
            << QByteArray("mount --bind \"$MNT/vol\" \"$MNT/bound\"")
            << QByteArray("if [ \"$2\" = \"$MNT/bound\" ] && [ ! -e \"$MNT.once\" ]; then : > \"$MNT.once\"; exit 1; fi\n"
                          "exec /bin/umount \"$2\"")
            << QByteArray("DEV") << 2 << QList<QByteArray>{"vol", "bound", "bound"} << 0 << QList<QByteArray>{}
            << QByteArray("vorlix: DEV is still mounted on MNT/bound.\n");
    }

    void unmount_leaves_nothing_of_the_volume()
    {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, helper);
        QFETCH(QByteArray, device);
        QFETCH(int, presses);
        QFETCH(QList<QByteArray>, unmounted);
        QFETCH(int, exit_code);
        QFETCH(QList<QByteArray>, left);
        QFETCH(QByteArray, why);

        BinaryFixture fx;
        LoopDisk disk(fx.path(""));
        if (disk.node.isEmpty())
            QSKIP(qPrintable(disk.why_not));
        const QByteArray mnt = fx.path("mnt").toLocal8Bit();
        prepare_loop_disk_run(&fx, disk, setup);
        fx.add_fake("kelmo", helper);
        device.replace("DEVNAME", disk.node.mid(5)).replace("DEV", disk.node);

        QStringList clicks;
        for (int i = 0; i < presses; ++i)
            clicks << "click:Unmount " + QString::fromLocal8Bit(mnt) + "/vol";
        const BinaryRun r = fx.run({mnt + "/vol", device, "ext4"}, clicks.join('|'));
        QVERIFY2(r.finished, r.err.constData());
        QVERIFY2(r.exit_code == exit_code, r.err.constData());
        // A failure box for each press that did not end the program, after
        // the line that says why.
        Texts boxes;
        for (int i = 0; i < presses - (exit_code == 0 ? 1 : 0); ++i) {
            if (!why.isEmpty())
                boxes << QByteArray(why).replace("DEV", disk.node).replace("MNT", mnt);
            boxes << unmount_failed_for(mnt + "/vol");
        }
        QCOMPARE(r.boxes(), boxes);
        Calls expected;
        for (const QByteArray &dir : unmounted)
            expected.append({"kelmo", "umount", mnt + '/' + dir});
        QCOMPARE(fx.calls(), expected);
        QCOMPARE(loop_disk_mounts_left(fx, disk), left);
    }

    // Untrusted bytes: spaces, markup, shell characters and invalid UTF-8
    // reach the command exactly as given, and markup stays literal.
    void arguments_reach_the_helper_as_bytes()
    {
        if (const char *why = lacks_mount_table())
            QSKIP(why);
        const QByteArray mp = "/media/a b&<i>c</i>;$(x)\xff\xfe'\"";
        BinaryFixture fx;
        fx.add_fake("kelmo", "exit 1");
        const BinaryRun r = fx.run({mp, "/dev/da0s1", "msdosfs"},
                                   "click:Unmount " + QString::fromUtf8(mp));
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(fx.calls(), Calls({{"kelmo", "umount", mp}}));
        QCOMPARE(r.boxes().size(), 1);
    }

    // A relative name that begins with "-" would read as an option; it goes
    // as "./-name", the same directory. Other names go exactly as given.
    void names_never_pass_for_options_data()
    {
        QTest::addColumn<QByteArray>("mount_point");
        QTest::addColumn<QByteArray>("operand");

        QTest::newRow("-a") << QByteArray("-a") << QByteArray("./-a");
        QTest::newRow("a lone dash") << QByteArray("-") << QByteArray("./-");
        QTest::newRow("--") << QByteArray("--") << QByteArray("./--");
        QTest::newRow("absolute stays") << QByteArray("/media/-a") << QByteArray("/media/-a");
        QTest::newRow("relative without a dash stays") << QByteArray("media/-a") << QByteArray("media/-a");
    }

    void names_never_pass_for_options()
    {
        QFETCH(QByteArray, mount_point);
        QFETCH(QByteArray, operand);
        if (const char *why = lacks_mount_table())
            QSKIP(why);

        BinaryFixture fx;
        fx.add_fake("kelmo", "exit 1");
        fx.add_fake("fm");
        fx.env.insert("VORLIX_FM", "fm");
        const BinaryRun r = fx.run({mount_point, "/dev/da0s1", "msdosfs"},
                                   "click:Unmount " + QString::fromUtf8(mount_point) + "|click:Open file manager");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(fx.calls(), Calls({{"kelmo", "umount", operand}, {"fm", operand}}));
        // The message names the mount point as the user knows it.
        QCOMPARE(r.boxes(), Texts{unmount_failed_for(mount_point)});
    }

    void info_data()
    {
        // "<link>": a symlink to a mount point apart from the fixture's
        // filesystem; "<other>": that mount point itself.
        QTest::addColumn<QString>("mount_point");

        QTest::newRow("missing mount point") << "/nonexistent/vorlix";
        QTest::newRow("symlink to another mount point") << "<link>";
        QTest::newRow("another mount point itself") << "<other>";
    }

    void info()
    {
        QFETCH(QString, mount_point);

        BinaryFixture fx;
        QByteArray other;
        QString mp = mount_point;
        if (mount_point.startsWith('<')) {
            if (const char *why = lacks_mount_table())
                QSKIP(why);
            other = separate_mount_point(fx.path("home").toLocal8Bit());
            if (other.isEmpty())
                QSKIP("neither /proc nor /dev is a mount point apart from the temporary folder's");
            QVERIFY(QFile::link(QString::fromLatin1(other), fx.path("link")));
            mp = mount_point == "<link>" ? fx.path("link") : QString::fromLatin1(other);
        }
        const BinaryRun r = fx.run({mp.toLocal8Bit(), "/dev/da0s1", "msdosfs"}, "click:Filesystem info");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(r.boxes().size(), 1);
        const QByteArray box = r.boxes().first();
        if (other.isNull()) {
            QCOMPARE(box, QByteArray("Cannot get filesystem info."));
        } else {
            // The directory the system reports, not the link we passed.
            QVERIFY2(box.startsWith("Mount point:\t" + other + "\nFilesystem:\tmsdosfs\nDevice:\t/dev/da0s1\nTotal:\t"),
                     box.constData());
            QCOMPARE(box.count('\n'), 6);
        }
    }

    void file_manager_data()
    {
        QTest::addColumn<QByteArray>("env");     // null: VORLIX_FM unset
        QTest::addColumn<QByteArray>("config");  // null: no ~/.config/vorlix
        QTest::addColumn<QByteArray>("fake");    // body of the fake "fm"
        QTest::addColumn<Calls>("calls");
        QTest::addColumn<Texts>("boxes");

        const QByteArray mp = "/media/da0s1";
        const QByteArray exec_enoent = "vorlix: exec failed: No such file or directory\n";
        const QByteArray fm_enoent = "vorlix: File manager error: No such file or directory\n";
        QTest::newRow("variable wins over config") << QByteArray("fm") << QByteArray("other\n")
                                                   << QByteArray("exit 0") << Calls{{"fm", mp}} << Texts{};
        QTest::newRow("config line with newline") << QByteArray() << QByteArray("fm\n") << QByteArray("exit 0")
                                                  << Calls{{"fm", mp}} << Texts{};
        QTest::newRow("config line without newline") << QByteArray() << QByteArray("fm") << QByteArray("exit 0")
                                                     << Calls{{"fm", mp}} << Texts{};
        // The exec's reason, not whatever errno was left over.
        QTest::newRow("empty variable fails at exec")
            << QByteArray("") << QByteArray("fm\n") << QByteArray("exit 0") << Calls{}
            << Texts{exec_enoent, fm_enoent};
        QTest::newRow("line with an option is one name") << QByteArray() << QByteArray("fm --split\n")
                                                         << QByteArray("exit 0") << Calls{}
                                                         << Texts{exec_enoent, fm_enoent};
        QTest::newRow("empty config: no launch") << QByteArray() << QByteArray("") << QByteArray("exit 0")
                                                 << Calls{} << Texts{".config/vorlix exists, but is empty.", fm_enoent};
        // How it ended, for a command that ran.
        QTest::newRow("file manager fails") << QByteArray("fm") << QByteArray() << QByteArray("exit 3")
                                            << Calls{{"fm", mp}}
                                            << Texts{"vorlix: File manager error: fm exited with status 3\n"};
        QTest::newRow("file manager killed") << QByteArray("fm") << QByteArray() << QByteArray("kill -9 $$")
                                             << Calls{{"fm", mp}}
                                             << Texts{"vorlix: File manager error: fm was killed by signal 9\n"};
    }

    void file_manager()
    {
        QFETCH(QByteArray, env);
        QFETCH(QByteArray, config);
        QFETCH(QByteArray, fake);
        QFETCH(Calls, calls);
        QFETCH(Texts, boxes);

        BinaryFixture fx;
        fx.add_fake("fm", fake);
        if (!env.isNull())
            fx.env.insert("VORLIX_FM", QString::fromLocal8Bit(env));
        if (!config.isNull()) {
            QDir(fx.home()).mkpath(".config");
            fx.write_file(fx.home() + "/.config/vorlix", config);
        }
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, "click:Open file manager");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(fx.calls(), calls);
        QCOMPARE(r.boxes(), boxes);
    }
};

QTEST_GUILESS_MAIN(TestVolumeActions)
#include "test_volume_actions.moc"
