#include "binary_fixture.h"

#include <QDir>
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

    // Untrusted bytes: spaces, markup, shell characters and invalid UTF-8
    // reach the command exactly as given, and markup stays literal.
    void arguments_reach_the_helper_as_bytes()
    {
        const QByteArray mp = "/media/a b&<i>c</i>;$(x)\xff\xfe'\"";
        BinaryFixture fx;
        fx.add_fake("kelmo", "exit 1");
        const BinaryRun r = fx.run({mp, "/dev/da0s1", "msdosfs"},
                                   "click:Unmount " + QString::fromUtf8(mp));
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(fx.calls(), Calls({{"kelmo", "umount", mp}}));
        QCOMPARE(r.boxes().size(), 1);
    }

    void info_data()
    {
        QTest::addColumn<QString>("mount_point"); // relative: under the fixture
        QTest::addColumn<QByteArray>("first_line");

        QTest::newRow("missing mount point") << "/nonexistent/vorlix" << QByteArray();
        QTest::newRow("symlink to /proc") << "proc-link" << QByteArray("Mount point:\t/proc\n");
        QTest::newRow("/proc itself") << "/proc" << QByteArray("Mount point:\t/proc\n");
    }

    void info()
    {
        QFETCH(QString, mount_point);
        QFETCH(QByteArray, first_line);

        BinaryFixture fx;
        QFile::link("/proc", fx.path("proc-link"));
        const QString mp = QDir::isAbsolutePath(mount_point) ? mount_point : fx.path(mount_point);
        const BinaryRun r = fx.run({mp.toLocal8Bit(), "/dev/da0s1", "msdosfs"}, "click:Filesystem info");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(r.boxes().size(), 1);
        const QByteArray box = r.boxes().first();
        if (first_line.isNull()) {
            QCOMPARE(box, QByteArray("Cannot get filesystem info."));
        } else {
            QVERIFY2(box.startsWith(first_line + "Filesystem:\tmsdosfs\nDevice:\t/dev/da0s1\nTotal:\t"),
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
        QTest::addColumn<Texts>("box_prefixes");

        const QByteArray mp = "/media/da0s1";
        const QByteArray exec_enoent = "vorlix: exec failed: No such file or directory\n";
        const QByteArray fm_error = "vorlix: File manager error: ";
        QTest::newRow("variable wins over config") << QByteArray("fm") << QByteArray("other\n")
                                                   << QByteArray("exit 0") << Calls{{"fm", mp}} << Texts{};
        QTest::newRow("config line with newline") << QByteArray() << QByteArray("fm\n") << QByteArray("exit 0")
                                                  << Calls{{"fm", mp}} << Texts{};
        QTest::newRow("config line without newline") << QByteArray() << QByteArray("fm") << QByteArray("exit 0")
                                                     << Calls{{"fm", mp}} << Texts{};
        QTest::newRow("empty variable fails at exec") << QByteArray("") << QByteArray("fm\n") << QByteArray("exit 0")
                                                      << Calls{} << Texts{"vorlix: exec failed: ", fm_error};
        QTest::newRow("line with an option is one name") << QByteArray() << QByteArray("fm --split\n")
                                                         << QByteArray("exit 0") << Calls{}
                                                         << Texts{exec_enoent, fm_error};
        QTest::newRow("empty config: no launch") << QByteArray() << QByteArray("") << QByteArray("exit 0")
                                                 << Calls{} << Texts{".config/vorlix exists, but is empty.", fm_error};
        QTest::newRow("file manager fails") << QByteArray("fm") << QByteArray() << QByteArray("exit 3")
                                            << Calls{{"fm", mp}} << Texts{fm_error};
        QTest::newRow("file manager killed") << QByteArray("fm") << QByteArray() << QByteArray("kill -9 $$")
                                             << Calls{{"fm", mp}} << Texts{fm_error};
    }

    void file_manager()
    {
        QFETCH(QByteArray, env);
        QFETCH(QByteArray, config);
        QFETCH(QByteArray, fake);
        QFETCH(Calls, calls);
        QFETCH(Texts, box_prefixes);

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
        const Texts boxes = r.boxes();
        QCOMPARE(boxes.size(), box_prefixes.size());
        for (int i = 0; i < boxes.size(); ++i) {
            QVERIFY2(boxes[i].startsWith(box_prefixes[i]), boxes[i].constData());
            if (box_prefixes[i].startsWith("vorlix: "))
                QVERIFY(boxes[i].endsWith('\n'));
        }
    }
};

QTEST_GUILESS_MAIN(TestVolumeActions)
#include "test_volume_actions.moc"
