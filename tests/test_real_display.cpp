#include "binary_fixture.h"
#include "system_needs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

using Calls = QList<QList<QByteArray>>;
using Texts = QList<QByteArray>;

// sh that waits for want visible windows of the test build and names the
// main window $main and a chooser $chooser, told apart by their height:
// the main window has five rows of buttons, a chooser three.
static QByteArray find_windows(int want)
{
    return "want=" + QByteArray::number(want) + "\n"
           "for try in $(seq 50); do\n"
           "  set -- $(xdotool search --onlyvisible --classname vorlix-testable 2>/dev/null)\n"
           "  [ $# -ge $want ] && break\n"
           "  sleep 0.2\n"
           "done\n"
           "main=; chooser=; tallest=0\n"
           "for w; do\n"
           "  eval \"$(xdotool getwindowgeometry --shell $w)\"\n"
           "  if [ $HEIGHT -gt $tallest ]; then chooser=$main; main=$w; tallest=$HEIGHT; else chooser=$w; fi\n"
           "done\n";
}

// What a user at the keyboard or the mouse does while the program runs:
// sh run beside it, on the same display.
static void start_user(QProcess *user, const QByteArray &script)
{
    user->setProcessChannelMode(QProcess::ForwardedChannels);
    user->start("/bin/sh", {"-c", QString::fromUtf8(script)});
}

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

    // A helper that waits long, on the real display: the question box
    // appears while it runs, Stop ends it at once, and the window stays;
    // left alone, the question goes by itself when the helper ends.
    void a_long_wait_asked_about_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("helper");
        QTest::addColumn<int>("exit_code");

        QTest::newRow("stopped") << "Stop" << QByteArray("exec /bin/sleep 30") << 99;
        QTest::newRow("the question goes by itself") << "wait" << QByteArray("exec /bin/sleep 2") << 0;
    }

    void a_long_wait_asked_about()
    {
        QFETCH(QString, answer);
        QFETCH(QByteArray, helper);
        QFETCH(int, exit_code);
        if (const char *why = lacks_mount_table())
            QSKIP(why);

        BinaryFixture fx;
        fx.add_fake("kelmo", helper);
        fx.env.insert("VORLIX_HOOK_WAIT", "10000,1000,1000");
        fx.env.insert("VORLIX_HOOK_ANSWERS", answer);
        QElapsedTimer clock;
        clock.start();
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, "click:Unmount /media/da0s1", 60000);
        QVERIFY2(r.finished, "the program hung");
        QCOMPARE(r.exit_code, exit_code);
        QCOMPARE(r.lines_starting_with("ask ").size(), 1);
        if (exit_code == 99)
            QVERIFY2(clock.elapsed() < 20000, "Stop waited for the helper");
    }

    // The keyboard alone, typed at the real windows: Return and keypad Enter
    // press the focused button, as Space does; Escape closes a chooser.
    void keys_data()
    {
        QTest::addColumn<QString>("before");   // hook steps first
        QTest::addColumn<QByteArray>("window"); // main or chooser: where the keys go
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<Texts>("boxes");
        QTest::addColumn<QList<QByteArray>>("commands"); // the fakes run, in order

        const Texts no_info = {"Cannot get filesystem info."};
        const QString chooser = "click:Reformat /dev/da0|";
        QTest::newRow("Return on the first button") << QString() << QByteArray("main") << QByteArray("Return")
                                                    << 99 << no_info << QList<QByteArray>{};
        QTest::newRow("keypad Enter on the first button") << QString() << QByteArray("main")
                                                          << QByteArray("KP_Enter") << 99 << no_info
                                                          << QList<QByteArray>{};
        QTest::newRow("Tab to Unmount, Return") << QString() << QByteArray("main")
                                                << QByteArray("Tab Tab Tab Tab Return") << 0 << Texts{}
                                                << QList<QByteArray>{"kelmo"};
        QTest::newRow("Tab to UFS2 in a chooser, keypad Enter")
            << chooser << QByteArray("chooser") << QByteArray("Tab KP_Enter") << 0
            << Texts{"Format complete.  You may need to disconnect and\n"
                     "reconnect the device to mount all new filesystems."}
            << QList<QByteArray>{"kelmo", "urxvt", "draskel"};
        QTest::newRow("Escape closes a chooser") << chooser << QByteArray("chooser") << QByteArray("Escape") << 99
                                                 << Texts{} << QList<QByteArray>{};
    }

    void keys()
    {
        QFETCH(QString, before);
        QFETCH(QByteArray, window);
        QFETCH(QByteArray, keys);
        QFETCH(int, exit_code);
        QFETCH(Texts, boxes);
        QFETCH(QList<QByteArray>, commands);

        BinaryFixture fx;
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        fx.add_fake("draskel", ": > \"$2\"");
        const QString typed = fx.path("typed");
        QProcess user;
        start_user(&user, find_windows(before.isEmpty() ? 1 : 2)
                              + "xdotool windowfocus --sync \"$" + window + "\" && sleep 0.3 &&"
                              " xdotool key --delay 100 " + keys + "\n"
                              "sleep 0.5; : > '" + typed.toLocal8Bit() + "'\n");

        const BinaryRun r = fx.run({"/nonexistent/da0s1", "/dev/da0s1", "msdosfs"},
                                   before + "await:" + typed + "|windows", 60000);
        QVERIFY(user.waitForFinished(30000));
        QVERIFY2(r.finished, "the program hung");
        QCOMPARE(r.exit_code, exit_code);
        QCOMPARE(r.boxes(), boxes);
        QList<QByteArray> ran;
        for (const QList<QByteArray> &call : fx.calls())
            ran.append(call.value(0));
        QCOMPARE(ran, commands);
        if (exit_code == 99) // still there: the main window, and a chooser unless Escape closed it
            QCOMPARE(r.lines_starting_with("windows "), Texts{"windows VorlixMenu"});
    }

    // What both windows ask of the window manager: their own size, fixed
    // (WM_NORMAL_HINTS with the minimum equal to the maximum), which tiling
    // window managers float rather than stretch.
    void windows_ask_for_a_fixed_size()
    {
        if (program_on_path("xprop").isEmpty())
            QSKIP("xprop is not installed (x11-utils)");
        BinaryFixture fx;
        const QString hints = fx.path("hints"), seen = fx.path("seen");
        QProcess user;
        start_user(&user, find_windows(2)
                              + "for w in \"$main\" \"$chooser\"; do\n"
                                "  eval \"$(xdotool getwindowgeometry --shell $w)\"\n"
                                "  echo \"size $WIDTH $HEIGHT\"\n"
                                "  xprop -id $w WM_NORMAL_HINTS |"
                                "  sed -n 's/.*program specified \\(m[a-z]*\\) size: \\([0-9]*\\) by \\([0-9]*\\)$/\\1 \\2 \\3/p'\n"
                                "done > '" + hints.toLocal8Bit() + "'\n"
                                ": > '" + seen.toLocal8Bit() + "'\n");
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   "click:Reformat /dev/da0|await:" + seen, 60000);
        QVERIFY(user.waitForFinished(30000));
        QVERIFY2(r.finished, "the program hung");
        QCOMPARE(r.exit_code, 99);

        QFile f(hints);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 6); // size, minimum and maximum of each window
        for (int w = 0; w < 2; ++w) {
            const QByteArray size = lines[3 * w].mid(5);
            QVERIFY2(lines[3 * w].startsWith("size ") && size != "0 0", lines[3 * w].constData());
            QCOMPARE(lines[3 * w + 1], "minimum " + size);
            QCOMPARE(lines[3 * w + 2], "maximum " + size);
        }
        QVERIFY2(lines[0] != lines[3], "the chooser is not the main window's size");
    }

    // While the window waits, the pointer over it shows the busy cursor,
    // though the process is blocked and draws nothing; then the usual one.
    void busy_cursor_while_waiting()
    {
        const QByteArray cursor = qgetenv("VORLIX_X_CURSOR_IMAGE");
        if (cursor.isEmpty())
            QSKIP("built without XFixes (x-cursor-image)");

        BinaryFixture fx;
        const QByteArray dir = fx.path("cursor").toLocal8Bit();
        QDir().mkpath(fx.path("cursor"));
        fx.add_fake("fm", "'" + cursor + "' > '" + dir + "/during'\n"
                          "( /bin/sleep 1; '" + cursor + "' > '" + dir + "/after'; : > '" + dir + "/done' ) &\n");
        fx.env.insert("VORLIX_FM", "fm");
        QProcess user;
        start_user(&user, find_windows(1) +
                              "eval \"$(xdotool getwindowgeometry --shell $main)\"\n"
                              "xdotool mousemove --sync --window $main $((WIDTH / 2)) $((HEIGHT / 2))\n"
                              "sleep 0.5; '" + cursor + "' > '" + dir + "/before'; : > '" + dir + "/ready'\n");

        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   "await:" + QString::fromLocal8Bit(dir) + "/ready|click:Open file manager|await:"
                                       + QString::fromLocal8Bit(dir) + "/done|windows",
                                   60000);
        QVERIFY(user.waitForFinished(30000));
        QVERIFY2(r.finished, "the program hung");
        QCOMPARE(r.exit_code, 99);
        auto shape = [&](const char *name) {
            QFile f(QString::fromLocal8Bit(dir) + '/' + name);
            return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
        };
        const QByteArray before = shape("before"), during = shape("during"), after = shape("after");
        QVERIFY2(!before.isEmpty() && !during.isEmpty(), "no cursor read");
        QVERIFY2(during != before, before.constData());
        QCOMPARE(after, before);
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
