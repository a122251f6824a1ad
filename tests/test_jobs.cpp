#include "binary_fixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

using Calls = QList<QList<QByteArray>>;
using Texts = QList<QByteArray>;

static const QByteArray copy_done = "Copy complete.  You may need to disconnect and\n"
                                    "reconnect the device to mount all new filesystems.";
static const QByteArray format_done = "Format complete.  You may need to disconnect and\n"
                                      "reconnect the device to mount all new filesystems.";
static const QByteArray enoent_exec = "vorlix: exec failed: No such file or directory\n";
// The rest of this line is whatever errno the process had; only its form is fixed.
static const QByteArray unmount_failed = "vorlix: unmount failed: ";

static const char image_button[] = "click:Copy disk image to /dev/da0";
static const char reformat_button[] = "click:Reformat /dev/da0";

static QList<QByteArray> starting_with(const QList<QByteArray> &lines, const QByteArray &prefix)
{
    QList<QByteArray> out;
    for (const QByteArray &l : lines)
        if (l.startsWith(prefix))
            out.append(l);
    return out;
}

// A tool that records its marker name for the hook to watch, then acts.
static QByteArray tool(const QByteArray &then)
{
    return "printf '%s\\n' \"$2\" > \"$WATCH\"\n" + then;
}

// The device-writing jobs on the real binary: a fake terminal runs a fake
// tool, and the outcome is judged by the marker alone.
class TestJobs : public QObject
{
    Q_OBJECT

private slots:
    void job_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QByteArray>("tool_name");
        QTest::addColumn<QByteArray>("tool_body");
        QTest::addColumn<QByteArray>("kelmo");  // null: missing
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<Texts>("boxes");        // a text ending in ": " is a prefix
        QTest::addColumn<QList<QByteArray>>("tool_tail"); // after the marker; empty: tool not run

        const QList<QByteArray> image_tail = {"<image>", "/dev/da0"};
        const QString image = image_button;
        const QString ufs2 = QString(reformat_button) + "|click:UFS2 (BSD)";

        QTest::newRow("image: marker made") << image << QByteArray("pernix") << tool(": > \"$2\"")
                                            << QByteArray("exit 0") << true << 0 << Texts{copy_done} << image_tail;
        QTest::newRow("image: marker made, tool exits 1")
            << image << QByteArray("pernix") << tool(": > \"$2\"; exit 1") << QByteArray("exit 0") << true << 0
            << Texts{copy_done} << image_tail;
        QTest::newRow("image: tool succeeds without marker")
            << image << QByteArray("pernix") << tool("exit 0") << QByteArray("exit 0") << true << 69
            << Texts{"Image copy failed."} << image_tail;
        QTest::newRow("image: tool killed") << image << QByteArray("pernix") << tool("kill -9 $$")
                                            << QByteArray("exit 0") << true << 69 << Texts{"Image copy failed."}
                                            << image_tail;
        QTest::newRow("image: terminal missing")
            << image << QByteArray("pernix") << tool(": > \"$2\"") << QByteArray("exit 0") << false << 69
            << Texts{"exec failed.", "Image copy failed."} << QList<QByteArray>{};
        QTest::newRow("image: unmount fails")
            << image << QByteArray("pernix") << tool(": > \"$2\"") << QByteArray("exit 1") << true << 69
            << Texts{unmount_failed, "Failed to unmount.", "Image copy failed."} << QList<QByteArray>{};
        QTest::newRow("image: mount helper missing")
            << image << QByteArray("pernix") << tool(": > \"$2\"") << QByteArray() << true << 69
            << Texts{enoent_exec, unmount_failed, "Failed to unmount.", "Image copy failed."}
            << QList<QByteArray>{};

        const char *const types[][2] = {{"EXFAT (Windows and most Unix)", "exfat"},
                                        {"UFS2 (BSD)", "ufs2"},
                                        {"EXT4 (Linux)", "ext4"}};
        for (const auto &t : types)
            QTest::newRow(QByteArray("format ") + t[1])
                << QString(reformat_button) + "|click:" + t[0] << QByteArray("draskel") << tool(": > \"$2\"")
                << QByteArray("exit 0") << true << 0 << Texts{format_done}
                << QList<QByteArray>{"/dev/da0", t[1]};
        QTest::newRow("format fails") << ufs2 << QByteArray("draskel") << tool("exit 1") << QByteArray("exit 0")
                                      << true << 69 << Texts{"Format failed."}
                                      << QList<QByteArray>{"/dev/da0", "ufs2"};
        QTest::newRow("format: unmount fails")
            << ufs2 << QByteArray("draskel") << tool(": > \"$2\"") << QByteArray("exit 1") << true << 69
            << Texts{unmount_failed, "Failed to unmount.", "Format failed."} << QList<QByteArray>{};
    }

    void job()
    {
        QFETCH(QString, script);
        QFETCH(QByteArray, tool_name);
        QFETCH(QByteArray, tool_body);
        QFETCH(QByteArray, kelmo);
        QFETCH(bool, terminal);
        QFETCH(int, exit_code);
        QFETCH(Texts, boxes);
        QFETCH(QList<QByteArray>, tool_tail);

        BinaryFixture fx;
        const QString image = fx.write_file("os.img", "image bytes");
        const QString watch = fx.path("marker-name");
        fx.env.insert("VORLIX_HOOK_OPEN", image);
        fx.env.insert("VORLIX_HOOK_WATCH", watch);
        fx.env.insert("WATCH", watch);
        fx.add_fake(QString::fromLatin1(tool_name), tool_body);
        if (!kelmo.isNull())
            fx.add_fake("kelmo", kelmo);
        if (terminal)
            fx.add_fake_terminal();

        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, script);
        QVERIFY(r.finished);
        QCOMPARE(r.exit_code, exit_code);

        const Texts shown = r.boxes();
        QCOMPARE(shown.size(), boxes.size());
        for (int i = 0; i < shown.size(); ++i) {
            if (boxes[i].endsWith(": "))
                QVERIFY2(shown[i].startsWith(boxes[i]) && shown[i].endsWith('\n'), shown[i].constData());
            else
                QCOMPARE(shown[i], boxes[i]);
        }

        // The helper unmounts first; then the terminal runs the tool with
        // one marker name, passed through unchanged.
        const Calls calls = fx.calls();
        Calls expected;
        if (!kelmo.isNull())
            expected.append({"kelmo", "umount", "/media/da0s1"});
        QByteArray marker;
        if (!tool_tail.isEmpty()) {
            QCOMPARE(calls.size(), 3);
            marker = calls[2].value(2);
            QVERIFY2(QRegularExpression("^/tmp/vorl\\.[^/]{7}$").match(QString::fromLatin1(marker)).hasMatch(),
                     marker.constData());
            const QByteArray option = tool_name == "pernix" ? "--success-file" : "--temp-file";
            QList<QByteArray> tool_argv = {tool_name, option, marker};
            for (const QByteArray &a : tool_tail)
                tool_argv.append(a == "<image>" ? image.toLocal8Bit() : a);
            expected.append(QList<QByteArray>{"urxvt", "-e"} + tool_argv);
            expected.append(tool_argv);
        }
        QCOMPARE(calls, expected);

        // The marker stands while the success message is on screen and is
        // gone once the program has ended: nothing left in /tmp.
        if (!marker.isEmpty()) {
            QVERIFY(!QFile::exists(QString::fromLatin1(marker)));
            if (exit_code == 0)
                QVERIFY(r.log.contains("watch " + marker + " exists"));
        }
    }

    void image_dialog()
    {
        BinaryFixture fx;
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        fx.add_fake("pernix");
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, QString(image_button) + "|windows");
        QCOMPARE(r.exit_code, 99); // cancelled: the window stays
        QCOMPARE(starting_with(r.log, "dialog "),
                 (QList<QByteArray>{"dialog Open Image|" + fx.home().toLocal8Bit() + "|Image Files (*.img *.iso)"}));
        QVERIFY(r.boxes().isEmpty());
        QVERIFY(fx.calls().isEmpty());
        QVERIFY(r.log.contains("windows VorlixMenu"));
    }

    void format_choosers_are_separate_windows()
    {
        BinaryFixture fx;
        const QString twice = QString(reformat_button) + '|' + reformat_button;
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   twice + "|windows|close:QFormatMenu|windows");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(starting_with(r.log, "windows "), (QList<QByteArray>{"windows VorlixMenu QFormatMenu QFormatMenu",
                                                            "windows VorlixMenu QFormatMenu"}));
        QVERIFY(r.boxes().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestJobs)
#include "test_jobs.moc"
