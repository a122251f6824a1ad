#include "binary_fixture.h"

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
