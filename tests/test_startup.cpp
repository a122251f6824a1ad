#include "binary_fixture.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QtTest>

// The real binary, started as an automounter would start it.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void argument_count_data()
    {
        QTest::addColumn<QList<QByteArray>>("args");
        QTest::addColumn<bool>("usage");

        QTest::newRow("none") << QList<QByteArray>{} << true;
        QTest::newRow("two") << QList<QByteArray>{"/media/da0s1", "/dev/da0s1"} << true;
        QTest::newRow("four") << QList<QByteArray>{"/media/da0s1", "/dev/da0s1", "msdosfs", "x"} << true;
        QTest::newRow("three") << QList<QByteArray>{"/media/da0s1", "/dev/da0s1", "msdosfs"} << false;
        QTest::newRow("toolkit option in the middle")
            << QList<QByteArray>{"/media/da0s1", "-style", "Fusion", "/dev/da0s1", "msdosfs"} << false;
        QTest::newRow("toolkit option does not count")
            << QList<QByteArray>{"-style", "Fusion", "/media/da0s1", "/dev/da0s1"} << true;
    }

    void argument_count()
    {
        QFETCH(QList<QByteArray>, args);
        QFETCH(bool, usage);

        BinaryFixture fx;
        const BinaryRun r = fx.run(args, "windows");
        QVERIFY(r.finished);
        const QByteArray line = "Usage: " + testable_binary().toLocal8Bit() + " /mount/point device fs-type\n";
        if (usage) {
            QCOMPARE(r.exit_code, 64);
            QVERIFY2(r.err.contains(line), r.err.constData());
            QVERIFY(r.log.isEmpty());
        } else {
            QCOMPARE(r.exit_code, 99); // still running when the script ran out
            QVERIFY(!r.err.contains("Usage:"));
            QCOMPARE(r.log, (QList<QByteArray>{"shown VorlixMenu", "windows VorlixMenu", "done"}));
        }
    }

    // Started where no display can be had (over ssh, from a service): one
    // line that says why and EX_CONFIG, not the toolkit's abort and core.
    // The display comes first, the argument count after.
    void no_display_data()
    {
        QTest::addColumn<QStringList>("set");
        QTest::addColumn<QList<QByteArray>>("args");
        QTest::addColumn<QByteArray>("line");

        const QList<QByteArray> volume{"/media/da0s1", "/dev/da0s1", "msdosfs"};
        const QByteArray none = "vorlix: cannot open a display: neither DISPLAY nor WAYLAND_DISPLAY is set.\n";
        QTest::newRow("no session") << QStringList{} << volume << none;
        QTest::newRow("no session, no arguments") << QStringList{} << QList<QByteArray>{} << none;
        QTest::newRow("an empty DISPLAY") << QStringList{"DISPLAY="} << volume << none;
        QTest::newRow("an X server that is gone") << QStringList{"DISPLAY=:4242"} << volume
                                                  << QByteArray("vorlix: cannot open the display given by DISPLAY=:4242.\n");
        QTest::newRow("a newline in DISPLAY") << QStringList{"DISPLAY=:4242\nx"} << volume
                                              << QByteArray("vorlix: cannot open the display given by DISPLAY=:4242?x.\n");
        // A platform the toolkit has no plugin for, or whose plugin does not
        // load, is no display that failed.
        const QByteArray no_such = "vorlix: the platform plugin \"no-such-platform\" is missing or cannot be loaded.\n";
        QTest::newRow("a platform that does not exist")
            << QStringList{"QT_QPA_PLATFORM=no-such-platform"} << volume << no_such;
        QTest::newRow("the toolkit's option")
            << QStringList{} << QList<QByteArray>{"-platform", "no-such-platform", "/media/da0s1", "/dev/da0s1", "msdosfs"}
            << no_such;
        QTest::newRow("a platform of odd bytes")
            << QStringList{"QT_QPA_PLATFORM=x\ny"} << volume
            << QByteArray("vorlix: the platform plugin \"x?y\" is missing or cannot be loaded.\n");
        QTest::newRow("a plugin whose library does not load")
            << QStringList{"QT_QPA_PLATFORM=xcb", "DISPLAY=:4242", "LD_LIBRARY_PATH=BROKEN"} << volume
            << QByteArray("vorlix: the platform plugin \"xcb\" is missing or cannot be loaded.\n");
        // Looked up without the toolkit, which never started.
        QTest::newRow("in German") << QStringList{"LANG=de_DE.UTF-8"} << volume
                                   << QByteArray("vorlix: kann keine Anzeige öffnen: weder DISPLAY noch "
                                                 "WAYLAND_DISPLAY ist gesetzt.\n");
    }

    void no_display()
    {
        QFETCH(QStringList, set);
        QFETCH(QList<QByteArray>, args);
        QFETCH(QByteArray, line);

        BinaryFixture fx;
        fx.unset = QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        for (QString assignment : set) {
            if (assignment.endsWith("=BROKEN")) {
                // The xcb plugin's own library, there but empty: found first,
                // it fails the plugin's load, as a damaged install does.
                const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms/libqxcb.so";
                QFile library(plugin);
                if (!library.open(QIODevice::ReadOnly) || !library.readAll().contains("libQt6XcbQpa.so.6"))
                    QSKIP("no xcb plugin here that loads libQt6XcbQpa.so.6");
                QDir().mkpath(fx.path("broken"));
                QVERIFY(fx.write_file("broken/libQt6XcbQpa.so.6", QByteArray()).size() > 0);
                assignment.replace("BROKEN", fx.path("broken"));
            }
            const int eq = assignment.indexOf('=');
            fx.unset.removeAll(assignment.left(eq));
            fx.env.insert(assignment.left(eq), assignment.mid(eq + 1));
        }
        const BinaryRun r = fx.run(args, QString(), 10000);
        QVERIFY(r.finished);
        QVERIFY2(!r.crashed, r.err.constData());
        QCOMPARE(r.exit_code, 78);
        QCOMPARE(r.err, line);
        QVERIFY(r.log.isEmpty());
    }

    // Held back while the toolkit starts, its messages still reach a
    // start that works, and the usage line still follows with 64.
    void a_working_start_keeps_the_toolkits_messages()
    {
        BinaryFixture fx;
        fx.env.insert("QT_QPA_PLATFORM", "no-such-platform;offscreen");
        const BinaryRun r = fx.run({});
        QVERIFY(r.finished);
        QCOMPARE(r.exit_code, 64);
        QVERIFY2(r.err.contains("\"no-such-platform\""), r.err.constData());
        QVERIFY2(r.err.endsWith("Usage: " + testable_binary().toLocal8Bit() + " /mount/point device fs-type\n"),
                 r.err.constData());
    }

    void filesystem_type_data()
    {
        QTest::addColumn<QByteArray>("fs_type");
        QTest::addColumn<bool>("notice");

        QTest::newRow("unknown") << QByteArray("unknown") << true;
        QTest::newRow("capitalised") << QByteArray("Unknown") << false;
        QTest::newRow("trailing space") << QByteArray("unknown ") << false;
        QTest::newRow("msdosfs") << QByteArray("msdosfs") << false;
    }

    void filesystem_type()
    {
        QFETCH(QByteArray, fs_type);
        QFETCH(bool, notice);

        BinaryFixture fx;
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", fs_type}, "windows");
        QVERIFY(r.finished);
        if (notice) {
            QCOMPARE(r.exit_code, 0);
            QCOMPARE(r.boxes(),
                     (QList<QByteArray>{
                         "/dev/da0s1 does not contain a recognized filesystem.  It may\n"
                         "be possible to mount manually using fusefs tools that\n"
                         "are not currently integrated into this system.\n\n"
                         "If you are certain that the device does not contain\n"
                         "any important information, you can reformat it using\n\n"
                         "    draskel /dev/da0 fs-type\n\n"
                         "if you wish."}));
            QVERIFY(!r.log.contains("shown VorlixMenu"));
        } else {
            QCOMPARE(r.exit_code, 99);
            QVERIFY(r.boxes().isEmpty());
            QVERIFY(r.log.contains("windows VorlixMenu"));
        }
    }

    void the_notice_is_cut_at_1024_bytes()
    {
        BinaryFixture fx;
        const QByteArray device = "/dev/" + QByteArray(1500, 'd');
        const BinaryRun r = fx.run({"/media/x", device, "unknown"});
        QCOMPARE(r.exit_code, 0);
        QCOMPARE(r.boxes().value(0), device.left(1024));
    }

    void close_request_is_refused()
    {
        BinaryFixture fx;
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   "close:VorlixMenu|close:VorlixMenu|windows");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(r.boxes(), (QList<QByteArray>{"Use Unmount to unmount and close this window.",
                                               "Use Unmount to unmount and close this window."}));
        QVERIFY(r.log.contains("windows VorlixMenu"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
