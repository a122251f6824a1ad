#include "binary_fixture.h"
#include "system_needs.h"

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

    // While the window waits for a slow file manager, the user clicks and
    // types into vorlix's windows. The file manager here does that itself
    // through the X server, then ends. None of that input may act later.
    void input_made_while_blocked_is_dropped_data()
    {
        QTest::addColumn<QString>("before"); // hook steps before the file manager
        QTest::addColumn<QByteArray>("input");

        QTest::newRow("a click on Unmount") << QString() << QByteArray("click_row \"$main\" 4 5");
        QTest::newRow("a click on EXT4 in a chooser")
            << QString("click:Reformat /dev/da0|") << QByteArray("click_row \"$chooser\" 2 3");
        QTest::newRow("Space three times on the focused button")
            << QString() << QByteArray("$x windowfocus --sync \"$main\"; $x key --delay 50 space space space");
    }

    void input_made_while_blocked_is_dropped()
    {
        QFETCH(QString, before);
        QFETCH(QByteArray, input);
        const QByteArray xdotool = program_on_path("xdotool");
        if (xdotool.isEmpty())
            QSKIP("xdotool is not installed");

        BinaryFixture fx;
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        fx.add_fake("draskel", ": > \"$2\"");
        // vorlix's windows by their height: the main window has five rows of
        // buttons, a chooser three.
        fx.add_fake("fm", "x='" + xdotool + "'\n"
                          "want=" + QByteArray(before.isEmpty() ? "1" : "2") + "\n"
                          "for try in 1 2 3 4 5 6 7 8 9 10; do\n"
                          "  set -- $($x search --onlyvisible --pid $PPID 2>/dev/null)\n"
                          "  [ $# -ge $want ] && break\n"
                          "  /bin/sleep 0.3\n"
                          "done\n"
                          "main=; chooser=; tallest=0\n"
                          "for w; do\n"
                          "  eval \"$($x getwindowgeometry --shell $w)\"\n"
                          "  if [ $HEIGHT -gt $tallest ]; then chooser=$main; main=$w; tallest=$HEIGHT; else chooser=$w; fi\n"
                          "done\n"
                          "click_row() {\n"
                          "  eval \"$($x getwindowgeometry --shell $1)\"\n"
                          "  $x mousemove --sync --window $1 $((WIDTH / 2)) $((HEIGHT * (2 * $2 + 1) / (2 * $3))) click 1\n"
                          "}\n"
                          + input + "\n"
                          "/bin/sleep 0.5\n");
        fx.env.insert("VORLIX_FM", "fm");

        // The steps after it give replayed input time to act, were it kept.
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   before + "click:Open file manager|windows|windows|windows", 60000);
        QVERIFY2(r.finished, "the program hung");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(fx.calls(), (QList<QList<QByteArray>>{{"fm", "/media/da0s1"}}));
        QVERIFY(r.boxes().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRealDisplay)
#include "test_real_display.moc"
