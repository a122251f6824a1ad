#include "binary_fixture.h"

#include <QtTest>

// Run on a real X server (see xvfb/with-xvfb.sh). A forked copy of the GUI
// process that opened a box there would block for good, and the program
// with it; offscreen runs cannot show that.
class TestRealDisplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qgetenv("QT_QPA_PLATFORM") != "xcb" || qgetenv("DISPLAY").isEmpty())
            QFAIL("run me through tests/xvfb/with-xvfb.sh");
    }

    // Both messages appear, and the window still answers a second press.
    void unmount_with_the_helper_missing()
    {
        BinaryFixture fx;
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   "click:Unmount /media/da0s1|click:Unmount /media/da0s1", 60000);
        QVERIFY2(r.finished, "the program hung");
        QCOMPARE(r.exit_code, 99);
        const QByteArray failed = "Unmount failed for /media/da0s1.\nWas the device improperly removed before "
                                  "unmounting?\nRun \"pkill vorlix\" to force termination.\n";
        const QByteArray exec_failed = "vorlix: exec failed: No such file or directory\n";
        QCOMPARE(r.boxes(), (QList<QByteArray>{exec_failed, failed, exec_failed, failed}));
    }

    // From the press to the exit status, with a failure two processes
    // down: the mount helper, run by the job's child, cannot be found.
    void image_job_with_the_helper_missing()
    {
        BinaryFixture fx;
        fx.add_fake_terminal();
        fx.add_fake("pernix", ": > \"$2\"");
        fx.env.insert("VORLIX_HOOK_OPEN", fx.write_file("os.img", "bytes"));
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   "click:Copy disk image to /dev/da0", 60000);
        QVERIFY2(r.finished, "the program hung");
        QCOMPARE(r.exit_code, 69);
        const QList<QByteArray> boxes = r.boxes();
        QCOMPARE(boxes.size(), 4);
        QCOMPARE(boxes[0], QByteArray("vorlix: exec failed: No such file or directory\n"));
        QVERIFY(boxes[1].startsWith("vorlix: unmount failed: "));
        QCOMPARE(boxes[2], QByteArray("Failed to unmount."));
        QCOMPARE(boxes[3], QByteArray("Image copy failed."));
        QVERIFY(fx.calls().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRealDisplay)
#include "test_real_display.moc"
