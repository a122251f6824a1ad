#include "binary_fixture.h"
#include "private_mounts.h"
#include "system_needs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

using Calls = QList<QList<QByteArray>>;
using Texts = QList<QByteArray>;

static const QByteArray copy_done = "Copy complete.  You may need to disconnect and\n"
                                    "reconnect the device to mount all new filesystems.";
static const QByteArray format_done = "Format complete.  You may need to disconnect and\n"
                                      "reconnect the device to mount all new filesystems.";
static const QByteArray enoent_exec = "vorlix: exec failed: No such file or directory\n";
static const QByteArray kelmo_exit_1 = "vorlix: unmount failed: kelmo exited with status 1\n";
static const QByteArray kelmo_missing = "vorlix: unmount failed: No such file or directory\n";

static const char image_button[] = "click:Copy disk image to /dev/da0";
static const char reformat_button[] = "click:Reformat /dev/da0";

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
        QTest::addColumn<Texts>("boxes");
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
            << Texts{kelmo_exit_1, "Failed to unmount.", "Image copy failed."} << QList<QByteArray>{};
        QTest::newRow("image: mount helper missing")
            << image << QByteArray("pernix") << tool(": > \"$2\"") << QByteArray() << true << 69
            << Texts{enoent_exec, kelmo_missing, "Failed to unmount.", "Image copy failed."}
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
            << Texts{kelmo_exit_1, "Failed to unmount.", "Format failed."} << QList<QByteArray>{};
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
        if (const char *why = lacks_mount_table())
            QSKIP(why);

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

        QCOMPARE(r.boxes(), boxes);

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
            QVERIFY2(QRegularExpression("^/tmp/vorl\\.[^/]{7}/success$").match(QString::fromLatin1(marker)).hasMatch(),
                     marker.constData());
            const QByteArray option = tool_name == "pernix" ? "--success-file" : "--temp-file";
            QList<QByteArray> tool_argv = {tool_name, option, marker};
            for (const QByteArray &a : tool_tail)
                tool_argv.append(a == "<image>" ? image.toLocal8Bit() : a);
            expected.append(QList<QByteArray>{"urxvt", "-e"} + tool_argv);
            expected.append(tool_argv);
        }
        QCOMPARE(calls, expected);

        // The marker stands while the success message is on screen; it and
        // its folder are gone once the program has ended: nothing left in /tmp.
        if (!marker.isEmpty()) {
            QVERIFY(!QFileInfo::exists(QFileInfo(QString::fromLatin1(marker)).path()));
            if (exit_code == 0)
                QVERIFY(r.log.contains("watch " + marker + " exists"));
        }
    }

    // The marker's name is on the tool's command line for every local user
    // to read. Whatever stands at it after a failing tool, put there by
    // another user or left in a shape the tool never makes, is no success.
    void only_the_tools_own_marker_counts_data()
    {
        QTest::addColumn<bool>("as_other_user");
        QTest::addColumn<QByteArray>("plant"); // sh, with the marker's name as $1
        QTest::addColumn<QByteArray>("planted");

        QTest::newRow("another user's file") << true << QByteArray(": > \"$1\"") << QByteArray("refused");
        QTest::newRow("another user's symlink") << true << QByteArray("/bin/ln -s /etc/hosts \"$1\"")
                                                << QByteArray("refused");
        QTest::newRow("a symlink to a file") << false << QByteArray("/bin/ln -s /etc/hosts \"$1\"")
                                             << QByteArray("planted");
        QTest::newRow("a folder") << false << QByteArray("/bin/mkdir \"$1\"") << QByteArray("planted");
        QTest::newRow("a file beside it") << false << QByteArray(": > \"$1.part\"") << QByteArray("planted");
    }

    void only_the_tools_own_marker_counts()
    {
        QFETCH(bool, as_other_user);
        QFETCH(QByteArray, plant);
        QFETCH(QByteArray, planted);
        if (as_other_user && geteuid() != 0)
            QSKIP("acting as another user takes root");
        if (as_other_user && !QFileInfo::exists("/usr/bin/setpriv"))
            QSKIP("acting as another user takes setpriv, which is not installed");
        if (const char *why = lacks_mount_table())
            QSKIP(why);

        BinaryFixture fx;
        fx.env.insert("VORLIX_HOOK_OPEN", fx.write_file("os.img", "image bytes"));
        fx.env.insert("WATCH", fx.path("marker-name"));
        fx.env.insert("PLANT", fx.path("plant.log"));
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        const QByteArray who = as_other_user ? "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        fx.add_fake("pernix", tool("if " + who + "/bin/sh -c '" + plant + "' sh \"$2\" 2>/dev/null;"
                                   " then echo planted; else echo refused; fi > \"$PLANT\"\nexit 1"));

        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, image_button);
        QCOMPARE(r.exit_code, 69);
        QCOMPARE(r.boxes(), Texts{"Image copy failed."});
        QFile log(fx.path("plant.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().trimmed(), planted);
        // Nothing of the job is left in /tmp, whatever the tool left there.
        const QByteArray marker = fx.calls().value(2).value(2);
        QVERIFY(marker.startsWith("/tmp/vorl."));
        QVERIFY(!QFileInfo::exists(QFileInfo(QString::fromLatin1(marker)).path()));
    }

    // Writing the disk under any of its mounted filesystems corrupts them.
    // In a private mount namespace (which takes root), tmpfs mounts stand for
    // the partitions: their sources name the disk /dev/da1, its partitions,
    // another disk whose name starts the same, or nothing of the kind.
    void every_filesystem_of_the_disk_is_unmounted_first_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QList<QByteArray>>("mounts"); // "<source> <folder>", mounted in this order
        QTest::addColumn<QByteArray>("failing");       // where kelmo fails
        QTest::addColumn<QByteArray>("lying");         // where kelmo says it unmounted, but does not
        QTest::addColumn<QList<QByteArray>>("unmounted");
        QTest::addColumn<Texts>("boxes");              // none: the format runs; MNT: the fixture's folder
        // 69 once the volume is unmounted; while it is still mounted the
        // window stays, and the script ends it with 99.
        QTest::addColumn<int>("exit_code");

        const QList<QByteArray> partitions = {"/dev/da1s1 s1", "/dev/da1s2 s2", "/dev/da1p3 s2/p3",
                                              "/dev/da1 whole", "/dev/da10s1 other"};
        const auto busy = [](const QByteArray &why) {
            return Texts{"vorlix: unmount failed: Device or resource busy\n", why, "Failed to unmount.",
                         "Format failed."};
        };
        const QByteArray da1s1 = "/dev/da1s1";
        QTest::newRow("all of the disk, deepest first; not da10")
            << da1s1 << partitions << QByteArray() << QByteArray() << QList<QByteArray>{"s1", "s2/p3", "s2", "whole"}
            << Texts{} << 0;
        QTest::newRow("a failing second unmount stops the job")
            << da1s1 << partitions << QByteArray("s2/p3") << QByteArray() << QList<QByteArray>{"s1", "s2/p3"}
            << Texts{kelmo_exit_1, "vorlix: /dev/da1p3 is still mounted on MNT/s2/p3.\n", "Failed to unmount.",
                     "Format failed."}
            << 69;
        QTest::newRow("two of the disk stacked on one folder")
            << da1s1 << QList<QByteArray>{"/dev/da1s1 s1", "/dev/da1s2 st", "/dev/da1s3 st"} << QByteArray() << QByteArray()
            << QList<QByteArray>{"s1", "st", "st"} << Texts{} << 0;
        // Unmounting there would take away what the user never named, and
        // the partition would stay mounted under it.
        QTest::newRow("a partition under another device's filesystem")
            << da1s1 << QList<QByteArray>{"/dev/da1s1 s1", "/dev/da1s2 s2", "unrelated s2"} << QByteArray() << QByteArray()
            << QList<QByteArray>{"s1"} << busy("vorlix: /dev/da1s2 is still mounted on MNT/s2.\n") << 69;
        QTest::newRow("the helper says so, but it is still mounted")
            << da1s1 << QList<QByteArray>{"/dev/da1s1 s1", "/dev/da1s2 s2"} << QByteArray() << QByteArray("s2")
            << QList<QByteArray>{"s1", "s2"} << busy("vorlix: /dev/da1s2 is still mounted on MNT/s2.\n") << 69;
        // Where the system knows no such device, its name still counts
        // however it is spelled, on either side.
        QTest::newRow("names spelled oddly")
            << QByteArray("/dev//./da1s1") << QList<QByteArray>{"/dev/da1s1 s1", "/dev//da1s2 s2", "/dev/./da1 whole"}
            << QByteArray() << QByteArray() << QList<QByteArray>{"s1", "s2", "whole"} << Texts{} << 0;
        // The volume's own folder covered by a stranger: the helper would
        // unmount that one instead.
        QTest::newRow("the volume under another device's filesystem")
            << da1s1 << QList<QByteArray>{"/dev/da1s1 s1", "unrelated s1"} << QByteArray() << QByteArray()
            << QList<QByteArray>{} << busy("vorlix: /dev/da1s1 is still mounted on MNT/s1.\n") << 99;
    }

    void every_filesystem_of_the_disk_is_unmounted_first()
    {
        QFETCH(QByteArray, device);
        QFETCH(QList<QByteArray>, mounts);
        QFETCH(QByteArray, failing);
        QFETCH(QByteArray, lying);
        QFETCH(QList<QByteArray>, unmounted);
        QFETCH(Texts, boxes);
        QFETCH(int, exit_code);
        if (geteuid() != 0 || !QFileInfo::exists("/usr/bin/unshare"))
            QSKIP("a private mount namespace takes root and unshare");
        if (const char *why = lacks_mount_table())
            QSKIP(why);

        BinaryFixture fx;
        const QByteArray root = fx.path("mnt").toLocal8Bit();
        QByteArray setup = "fakes=$PATH; PATH=/usr/sbin:/usr/bin:/sbin:/bin\n";
        for (const QByteArray &m : mounts) {
            const QByteArray dir = "\"$MNT/" + m.split(' ')[1] + '"';
            setup += "mkdir -p " + dir + " && mount -t tmpfs " + m.split(' ')[0] + ' ' + dir + '\n';
        }
        setup += "PATH=$fakes exec \"$@\"";
        fx.wrapper = {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-ec", setup, "sh"};
        fx.env.insert("MNT", QString::fromLocal8Bit(root));
        fx.env.insert("FAIL", failing.isEmpty() ? QString() : QString::fromLocal8Bit(root + '/' + failing));
        fx.env.insert("LIE", lying.isEmpty() ? QString() : QString::fromLocal8Bit(root + '/' + lying));
        fx.add_fake("kelmo", "[ \"$2\" = \"$FAIL\" ] && exit 1\n"
                             "[ \"$2\" = \"$LIE\" ] && exit 0\n"
                             "exec /bin/umount \"$2\"");
        fx.add_fake_terminal();
        fx.add_fake("draskel", ": > \"$2\"");

        const BinaryRun r = fx.run({root + "/s1", device, "msdosfs"},
                                   "click:Reformat /dev/da1|click:EXT4 (Linux)");
        QVERIFY(r.finished);
        QVERIFY2(r.exit_code == exit_code, r.err.constData());
        Texts want;
        for (QByteArray box : boxes)
            want.append(box.replace("MNT", root));
        QCOMPARE(r.boxes(), boxes.isEmpty() ? Texts{format_done} : want);

        // Exactly these unmounts, and the terminal only once the whole disk
        // is free.
        Calls expected;
        for (const QByteArray &dir : unmounted)
            expected.append({"kelmo", "umount", root + '/' + dir});
        Calls calls = fx.calls();
        QList<QByteArray> then;
        for (const QList<QByteArray> &call : calls.mid(expected.size()))
            then.append(call.value(0));
        QCOMPARE(calls.mid(0, expected.size()), expected);
        QCOMPARE(then, boxes.isEmpty() ? (QList<QByteArray>{"urxvt", "draskel"}) : QList<QByteArray>{});
    }

    // The same on a real block device (a loop device) in a private mount
    // namespace: its mounts are found by device number, whatever name they
    // were mounted under, and nothing of another device is unmounted.
    void jobs_on_a_real_disk_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QByteArray>("setup");  // after "mount $DEV $MNT/vol"
        QTest::addColumn<QByteArray>("image");  // under $MNT: the file the dialog picks
        QTest::addColumn<QList<QByteArray>>("unmounted");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<Texts>("boxes");       // "MNT" stands for $MNT
        QTest::addColumn<QList<QByteArray>>("left");

        const QString ext4 = "click:Reformat DEV|click:EXT4 (Linux)";
        const QByteArray elsewhere = "ln -s \"$DEV\" \"$MNT/link\"\n"
                                     "mount --no-canonicalize -t ext4 \"$MNT/link\" \"$MNT/other\"";
        QTest::newRow("the disk mounted elsewhere under another name")
            << ext4 << elsewhere << QByteArray() << QList<QByteArray>{"vol", "other"} << 0 << Texts{format_done}
            << QList<QByteArray>{};
        // Nothing was unmounted, and the window stays: it alone can
        // unmount the volume once the stranger is gone.
        QTest::newRow("the volume under another device's filesystem")
            << ext4 << QByteArray("mount -t tmpfs stranger \"$MNT/vol\"") << QByteArray() << QList<QByteArray>{} << 99
            << Texts{"vorlix: unmount failed: Device or resource busy\n", "vorlix: DEV is still mounted on MNT/vol.\n",
                     "Failed to unmount.", "Format failed."}
            << QList<QByteArray>{"vol DEV", "vol stranger"};
        // A tool must not write the disk while it is mounted where this
        // namespace cannot see it: the kernel's claim on the device says so.
        QTest::newRow("the disk mounted in another mount namespace")
            << ext4
            << QByteArray("unshare --mount --propagation private sh -c "
                          "'mount \"$DEV\" \"$MNT/other\" && : > \"$MNT.ready\"; exec sleep 60' &\n"
                          "trap \"kill $!\" EXIT\n"
                          "while [ ! -e \"$MNT.ready\" ]; do sleep 0.05; done")
            << QByteArray() << QList<QByteArray>{"vol"} << 69
            << Texts{"vorlix: unmount failed: Device or resource busy\n",
                     "vorlix: DEV is still mounted in another mount namespace.\n", "Failed to unmount.", "Format failed."}
            << QList<QByteArray>{};
        // Another disk under the node, alike to the byte and of the same
        // size, before the press: a loop device attached again, here to a
        // copy of its image. (Unmounted first, and so never seen mounted,
        // so that the window does not end with its volume.)
        QTest::newRow("the loop device attached to another image before the press")
            << "windows|await:MNT.swapped|" + ext4
            << QByteArray("umount \"$MNT/vol\"\n"
                          "(tries=0\nuntil grep -qx 'windows VorlixMenu' \"$VORLIX_HOOK_LOG\" 2>/dev/null; do\n"
                          "  tries=$((tries + 1)); [ $tries -lt 500 ] || exit; sleep 0.02\ndone\n"
                          "cp --sparse=always \"$(cat /sys/block/${DEV#/dev/}/loop/backing_file)\" \"$MNT.other.img\"\n"
                          "losetup -d \"$DEV\" && losetup \"$DEV\" \"$MNT.other.img\" && : > \"$MNT.swapped\") &")
            << QByteArray() << QList<QByteArray>{} << 69
            << Texts{"vorlix: DEV is no longer the disk this job began with; nothing was written.\n", "Format failed."}
            << QList<QByteArray>{};
        // The tool would not find it once the volume is unmounted, or would
        // overwrite it as it reads.
        const QString copy = "click:Copy disk image to DEV";
        QTest::newRow("an image on the volume")
            << copy << QByteArray("echo image > \"$MNT/vol/backup.img\"") << QByteArray("vol/backup.img")
            << QList<QByteArray>{} << 99 << Texts{"vorlix: MNT/vol/backup.img is on the disk it would overwrite.\n"}
            << QList<QByteArray>{"vol DEV"};
        QTest::newRow("an image on another mount of the disk")
            << copy << elsewhere + "\necho image > \"$MNT/vol/backup.img\"" << QByteArray("other/backup.img")
            << QList<QByteArray>{} << 99 << Texts{"vorlix: MNT/other/backup.img is on the disk it would overwrite.\n"}
            << QList<QByteArray>{"vol DEV", "other MNT/link"};
        // Filesystems built on the volume: an image there would vanish or
        // be overwritten too. Refused before anything is unmounted.
        QTest::newRow("an image in an overlay over the volume")
            << copy
            << QByteArray("echo image > \"$MNT/vol/backup.img\"\nmkdir -p \"$MNT/up\" \"$MNT/ovl\"\n"
                          "mount -t tmpfs upper \"$MNT/up\"\nmkdir \"$MNT/up/u\" \"$MNT/up/w\"\n"
                          "mount -t overlay overlay -o \"lowerdir=$MNT/vol,upperdir=$MNT/up/u,workdir=$MNT/up/w\" "
                          "\"$MNT/ovl\"")
            << QByteArray("ovl/backup.img") << QList<QByteArray>{} << 99
            << Texts{"vorlix: MNT/ovl/backup.img is on the disk it would overwrite.\n"}
            << QList<QByteArray>{"vol DEV", "up upper", "ovl overlay"};
        const QByteArray inner = "mkfs.ext4 -q -F \"$MNT/vol/inner.img\" 4M\nmkdir \"$MNT/inner\"\n";
        QTest::newRow("an image in a filesystem of a loop device reading a file on the volume")
            << copy
            << inner + "loop=$(losetup -f --show \"$MNT/vol/inner.img\")\n"
                       "trap 'umount \"$MNT/inner\"; losetup -d \"$loop\"' EXIT\n"
                       "mount \"$loop\" \"$MNT/inner\"\necho image > \"$MNT/inner/os.img\""
            << QByteArray("inner/os.img") << QList<QByteArray>{} << 99
            << Texts{"vorlix: MNT/inner/os.img is on the disk it would overwrite.\n"}
            << QList<QByteArray>{"vol DEV", "inner LOOP"};
        QTest::newRow("an image in a FUSE filesystem reading a file on the volume")
            << copy
            << inner + "fuse2fs \"$MNT/vol/inner.img\" \"$MNT/inner\"\n"
                       "trap 'umount -l \"$MNT/inner\"' EXIT\necho image > \"$MNT/inner/os.img\""
            << QByteArray("inner/os.img") << QList<QByteArray>{} << 99
            << Texts{"vorlix: MNT/inner/os.img is on the disk it would overwrite.\n"}
            << QList<QByteArray>{"vol DEV", "inner MNT/vol/inner.img"};
    }

    void jobs_on_a_real_disk()
    {
        QFETCH(QString, script);
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, image);
        QFETCH(QList<QByteArray>, unmounted);
        QFETCH(int, exit_code);
        QFETCH(Texts, boxes);
        QFETCH(QList<QByteArray>, left);

        BinaryFixture fx;
        LoopDisk disk(fx.path(""));
        if (disk.node.isEmpty())
            QSKIP(qPrintable(disk.why_not));
        const QByteArray mnt = fx.path("mnt").toLocal8Bit();
        prepare_loop_disk_run(&fx, disk, setup);
        if (!image.isEmpty())
            fx.env.insert("VORLIX_HOOK_OPEN", QString::fromLocal8Bit(mnt + '/' + image));
        fx.add_fake("kelmo", "exec /bin/umount \"$2\"");
        fx.add_fake_terminal();
        fx.add_fake("draskel", ": > \"$2\"");
        fx.add_fake("pernix", ": > \"$2\"");

        const BinaryRun r = fx.run({mnt + "/vol", disk.node, "ext4"},
                                   script.replace("DEV", QString::fromLocal8Bit(disk.node))
                                       .replace("MNT", QString::fromLocal8Bit(mnt)));
        QVERIFY2(r.finished, r.err.constData());
        QVERIFY2(r.exit_code == exit_code, (r.err + r.log.join('\n')).constData());
        Texts want;
        for (QByteArray box : boxes)
            want.append(box.replace("MNT", mnt).replace("DEV", disk.node));
        QCOMPARE(r.boxes(), want);

        Calls expected;
        for (const QByteArray &dir : unmounted)
            expected.append({"kelmo", "umount", mnt + '/' + dir});
        const Calls calls = fx.calls();
        QCOMPARE(calls.mid(0, expected.size()), expected);
        QList<QByteArray> then;
        for (const QList<QByteArray> &call : calls.mid(expected.size()))
            then.append(call.value(0) + (call.value(0) == "draskel" ? ' ' + call.value(3) : QByteArray()));
        QCOMPARE(then, exit_code == 0 ? (QList<QByteArray>{"urxvt", "draskel " + disk.node}) : QList<QByteArray>{});

        // Another loop device the case made is LOOP.
        QList<QByteArray> remaining;
        for (const QByteArray &line : loop_disk_mounts_left(fx, disk))
            remaining << QString::fromLocal8Bit(line).replace(QRegularExpression("/dev/loop[0-9]+"), "LOOP").toLocal8Bit();
        QCOMPARE(remaining, left);
    }

    // Where the system cannot tell (a name with no device behind it), a
    // file inside the volume's folder is still on the disk.
    void an_image_inside_the_volumes_folder()
    {
        BinaryFixture fx;
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        fx.add_fake("pernix", ": > \"$2\"");
        QDir(fx.path("")).mkpath("stick/images");
        const QString image = fx.write_file("stick/images/os.img", "image bytes");
        fx.env.insert("VORLIX_HOOK_OPEN", image);
        const BinaryRun r = fx.run({fx.path("stick/").toLocal8Bit(), "/dev/da0s1", "msdosfs"}, image_button);
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(r.boxes(), Texts{"vorlix: " + image.toLocal8Bit() + " is on the disk it would overwrite.\n"});
        QVERIFY(fx.calls().isEmpty());
    }

    // A stick pulled while the window waited, or while it was being
    // unmounted, and another plugged in under its name: the tool must not
    // write that one, and nothing is unmounted for it. A disk image file
    // replaced by another file stands in for it.
    void the_disk_swapped_under_the_window_data()
    {
        QTest::addColumn<QByteArray>("before_press"); // sh, once the window shows; $DISK the disk file
        QTest::addColumn<QByteArray>("kelmo");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<Texts>("boxes"); // DISK: the disk file
        QTest::addColumn<QList<QByteArray>>("ran");

        const Texts changed = {"vorlix: DISK is no longer the disk this job began with; nothing was written.\n",
                               "Format failed."};
        const QList<QByteArray> all = {"kelmo", "urxvt", "draskel"};
        const QByteArray swap = "/bin/rm \"$DISK\" && : > \"$DISK\"";
        QTest::newRow("the same disk") << QByteArray() << QByteArray("exit 0") << 0 << Texts{format_done} << all;
        // What was written to it does not make it another.
        QTest::newRow("the same file, written to before the press")
            << QByteArray("echo data >> \"$DISK\"") << QByteArray("exit 0") << 0 << Texts{format_done} << all;
        QTest::newRow("another disk under its name before the press")
            << swap << QByteArray("exit 0") << 69 << changed << QList<QByteArray>{};
        QTest::newRow("no disk under its name before the press")
            << QByteArray("/bin/rm \"$DISK\"") << QByteArray("exit 0") << 69 << changed << QList<QByteArray>{};
        QTest::newRow("another disk under its name during the unmount")
            << QByteArray() << swap << 69 << changed << QList<QByteArray>{"kelmo"};
        QTest::newRow("no disk under its name any more during the unmount")
            << QByteArray() << QByteArray("/bin/rm \"$DISK\"") << 69 << changed << QList<QByteArray>{"kelmo"};
    }

    void the_disk_swapped_under_the_window()
    {
        QFETCH(QByteArray, before_press);
        QFETCH(QByteArray, kelmo);
        QFETCH(int, exit_code);
        QFETCH(Texts, boxes);
        QFETCH(QList<QByteArray>, ran);
        if (const char *why = lacks_mount_table())
            QSKIP(why);

        BinaryFixture fx;
        const QString disk = fx.write_file("da0", QByteArray(4096, '\0'));
        QDir(fx.path("")).mkpath("stick");
        fx.env.insert("DISK", disk);
        fx.env.insert("HOOK_LOG", fx.path("hook.log"));
        fx.env.insert("READY", fx.path("ready"));
        // Once the window is up and waits for the user (the script's first
        // step has run, and with it all that the program does as its window
        // first shows), the case acts; then the buttons are pressed.
        fx.wrapper = {"/bin/sh", "-c",
                      "(tries=0\nuntil /bin/grep -qx 'windows VorlixMenu' \"$HOOK_LOG\" 2>/dev/null; do\n"
                      "  tries=$((tries + 1)); [ $tries -lt 500 ] || exit; /bin/sleep 0.02\ndone\n"
                      + before_press + "\n: > \"$READY\") &\nexec \"$@\"",
                      "sh"};
        fx.add_fake("kelmo", kelmo);
        fx.add_fake_terminal();
        fx.add_fake("draskel", ": > \"$2\"");
        const BinaryRun r = fx.run({fx.path("stick").toLocal8Bit(), fx.path("da0s1").toLocal8Bit(), "msdosfs"},
                                   "windows|await:" + fx.path("ready") + "|click:Reformat " + disk
                                       + "|click:EXT4 (Linux)");
        QCOMPARE(r.exit_code, exit_code);
        Texts want;
        for (QByteArray box : boxes)
            want << box.replace("DISK", disk.toLocal8Bit());
        QCOMPARE(r.boxes(), want);
        QList<QByteArray> commands;
        for (const QList<QByteArray> &call : fx.calls())
            commands << call.value(0);
        QCOMPARE(commands, ran);
    }

    // vorlix ended while its tool runs ("pkill vorlix", a closed terminal):
    // the tool goes with it, and so does the marker's folder, so that
    // nothing is left that could still act, or be read, later.
    void an_ended_program_leaves_nothing_data()
    {
        QTest::addColumn<int>("signal");

        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    // From before the unmount until the tool's terminal has closed, the
    // disk carries the mark a devd hook honours: a lock on a file named for
    // the disk. The tool's terminal keeps it too, so that it stays while the
    // tool writes even when vorlix is killed; once nothing of the job runs,
    // it is free. Each fake notes what it sees: "<who> held|free <file>".
    void the_disk_is_marked_while_it_is_written_data()
    {
        QTest::addColumn<QByteArray>("kelmo");
        QTest::addColumn<QByteArray>("draskel");
        QTest::addColumn<bool>("own_session"); // the terminal runs the tool in a session of its own
        QTest::addColumn<int>("exit_code");    // -1: killed
        QTest::addColumn<QList<QByteArray>>("seen");
        QTest::addColumn<bool>("left"); // the mark's file is left behind, free

        const QByteArray once_gone = "n=0\nwhile kill -0 \"$VORLIX\" 2>/dev/null && [ $n -lt 100 ]; do\n"
                                     "  /bin/sleep 0.1; n=$((n + 1))\ndone\n";
        QTest::newRow("a format that runs")
            << QByteArray("seen kelmo") << QByteArray("seen draskel\n: > \"$2\"") << false << 0
            << QList<QByteArray>{"kelmo held", "urxvt held", "draskel held"} << false;
        QTest::newRow("an unmount that fails, so no tool runs")
            << QByteArray("seen kelmo\nexit 1") << QByteArray("seen draskel") << false << 69
            << QList<QByteArray>{"kelmo held"} << false;
        QTest::newRow("vorlix killed while the tool writes")
            << QByteArray("seen kelmo") << "kill -KILL \"$VORLIX\"\n" + once_gone + "seen draskel" << false << -1
            << QList<QByteArray>{"kelmo held", "urxvt held", "draskel held"} << true;
        // Its handler ends the terminal's process group, which a real
        // terminal's tool is not in: the tool may still write, and the mark
        // stays with it. Once the tool is gone too, the file is free.
        for (const char *sig : {"TERM", "HUP"})
            for (bool own : {false, true})
                QTest::newRow(QByteArray("vorlix ended by SIG") + sig + " while the tool writes"
                              + (own ? " in a session of its own" : ""))
                    << QByteArray("seen kelmo")
                    << "seen draskel\nkill -" + QByteArray(sig) + " \"$VORLIX\"\n" + once_gone + "seen after" << own
                    << -1
                    << (own ? QList<QByteArray>{"kelmo held", "urxvt held", "draskel held", "after held"}
                            : QList<QByteArray>{"kelmo held", "urxvt held", "draskel held"})
                    << true;
    }

    void the_disk_is_marked_while_it_is_written()
    {
        QFETCH(QByteArray, kelmo);
        QFETCH(QByteArray, draskel);
        QFETCH(bool, own_session);
        QFETCH(int, exit_code);
        QFETCH(QList<QByteArray>, seen);
        QFETCH(bool, left);
        if (own_session && !QFileInfo::exists("/usr/bin/setsid"))
            QSKIP("a session of its own takes setsid(1), which is not installed");
        if (!QFileInfo::exists("/usr/bin/flock"))
            QSKIP("testing a lock takes flock(1), which is not installed");
        if (const char *why = lacks_mount_table())
            QSKIP(why);

        // A disk of this test's own, so that no other test's marks show.
        const QByteArray name = "zz" + QByteArray::number(getpid());
        BinaryFixture fx;
        fx.env.insert("DISK_NAME", QString::fromLatin1(name));
        fx.env.insert("SEEN", fx.path("seen.log"));
        const QByteArray look = "seen() {\n"
                                "  for f in /tmp/.vorlix-writing-\"$DISK_NAME\".*; do\n"
                                "    [ -f \"$f\" ] || continue\n"
                                "    if /usr/bin/flock -n \"$f\" /bin/true; then s=free; else s=held; fi\n"
                                "    echo \"$1 $s $f\" >> \"$SEEN\"\n"
                                "  done\n"
                                "}\n";
        fx.add_fake("kelmo", look + kelmo);
        // The terminal's parent is vorlix.
        fx.add_fake("urxvt", look + "[ \"$1\" = -e ] || exit 2\nshift\nseen urxvt\nVORLIX=$PPID "
                                 + (own_session ? "/usr/bin/setsid --wait " : "") + "\"$@\"\nexit 0");
        fx.add_fake("draskel", look + draskel);

        const QByteArray device = "/dev/" + name + "s1";
        const BinaryRun r = fx.run({"/media/" + name + "s1", device, "msdosfs"},
                                   "click:Reformat /dev/" + name + "|click:EXT4 (Linux)");
        QVERIFY(r.finished);
        if (exit_code < 0)
            QVERIFY(r.crashed);
        else
            QCOMPARE(r.exit_code, exit_code);

        // A killed vorlix leaves its tool running on: wait for its note.
        const auto notes = [&fx] {
            QFile log(fx.path("seen.log"));
            return log.open(QIODevice::ReadOnly) ? log.readAll().trimmed().split('\n') : QList<QByteArray>{};
        };
        QList<QByteArray> lines;
        QTRY_VERIFY_WITH_TIMEOUT((lines = notes()).size() >= seen.size(), 15000);
        QList<QByteArray> who;
        QByteArray file;
        for (const QByteArray &line : lines) {
            const QList<QByteArray> words = line.split(' ');
            who.append(words.value(0) + ' ' + words.value(1));
            QVERIFY2(file.isEmpty() || words.value(2) == file, line.constData()); // one mark throughout
            file = words.value(2);
        }
        QCOMPARE(who, seen);
        QVERIFY(file.startsWith("/tmp/.vorlix-writing-" + name + '.'));

        if (!left) {
            QVERIFY2(!QFileInfo::exists(QString::fromLocal8Bit(file)), "the mark is left behind");
            return;
        }
        // Killed, vorlix could not remove it; ended by a signal once the
        // terminal ran, it left it to the tool. The tool ended, the mark is
        // free.
        QVERIFY2(QFileInfo::exists(QString::fromLocal8Bit(file)), "the mark is gone");
        QTRY_VERIFY(QProcess::execute("/usr/bin/flock", {"-n", QString::fromLocal8Bit(file), "/bin/true"}) == 0);
        QFile::remove(QString::fromLocal8Bit(file));
    }

    void an_ended_program_leaves_nothing()
    {
        QFETCH(int, signal);
        if (const char *why = lacks_mount_table())
            QSKIP(why);

        BinaryFixture fx;
        fx.env.insert("WATCH", fx.path("marker-name"));
        fx.env.insert("TOOL_PID", fx.path("tool.pid"));
        fx.env.insert("SIGNAL", QString::number(signal));
        fx.add_fake("kelmo");
        // The terminal's parent is vorlix; the tool ends it, then waits.
        fx.add_fake("urxvt", "[ \"$1\" = -e ] || exit 2\nshift\nVORLIX=$PPID \"$@\"\nexit 0");
        fx.add_fake("draskel", tool("echo $$ > \"$TOOL_PID\"\nkill -\"$SIGNAL\" \"$VORLIX\"\nexec /bin/sleep 30"));
        // A disk of this test's own, whose mark it can tell from others'.
        const QByteArray name = "zy" + QByteArray::number(getpid());
        const BinaryRun r = fx.run({"/media/" + name + "s1", "/dev/" + name + "s1", "msdosfs"},
                                   "click:Reformat /dev/" + name + "|click:EXT4 (Linux)");
        QVERIFY(r.finished);
        QVERIFY(r.crashed); // ended by the signal, as without a handler

        QFile watch(fx.path("marker-name")), tool_pid(fx.path("tool.pid"));
        QVERIFY(watch.open(QIODevice::ReadOnly) && tool_pid.open(QIODevice::ReadOnly));
        const QString marker = QString::fromLocal8Bit(watch.readAll().trimmed());
        QVERIFY(marker.startsWith("/tmp/vorl."));
        QVERIFY2(!QFileInfo::exists(QFileInfo(marker).path()), "the marker's folder is left");
        const pid_t tool = tool_pid.readAll().trimmed().toInt();
        // Ended: gone, or a zombie its new parent has yet to reap, which on
        // a loaded machine may take a while.
        const auto ended = [tool] {
            if (kill(tool, 0) != 0)
                return true;
            QFile stat(QString("/proc/%1/stat").arg(tool));
            if (!stat.open(QIODevice::ReadOnly))
                return true;
            const QByteArray line = stat.readAll();
            const int after_name = line.lastIndexOf(')');
            return after_name >= 0 && line.mid(after_name + 2, 1) == "Z";
        };
        QTRY_VERIFY2(ended(), "the tool still runs");
        // The disk's mark, left to the tool once its terminal ran, is free
        // now that the tool is gone: it marks nothing.
        const QStringList marks = QDir("/tmp").entryList({".vorlix-writing-" + QString::fromLatin1(name) + ".*"},
                                                         QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &mark : marks) {
            if (QFileInfo::exists("/usr/bin/flock"))
                QTRY_VERIFY(QProcess::execute("/usr/bin/flock", {"-n", "/tmp/" + mark, "/bin/true"}) == 0);
            QFile::remove("/tmp/" + mark);
        }
    }

    // Names that read as options reach the tool as paths.
    void relative_names_never_pass_for_options()
    {
        if (const char *why = lacks_mount_table())
            QSKIP(why);
        BinaryFixture fx;
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        fx.add_fake("draskel", ": > \"$2\"");
        const BinaryRun r = fx.run({"-a", "-da0s1", "msdosfs"}, "click:Reformat -da0|click:UFS2 (BSD)");
        QCOMPARE(r.exit_code, 0);
        const Calls calls = fx.calls();
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls[0], (QList<QByteArray>{"kelmo", "umount", "./-a"}));
        QCOMPARE(calls[2].mid(3), (QList<QByteArray>{"./-da0", "ufs2"}));
    }

    void image_dialog()
    {
        BinaryFixture fx;
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        fx.add_fake("pernix");
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, QString(image_button) + "|windows");
        QCOMPARE(r.exit_code, 99); // cancelled: the window stays
        QCOMPARE(r.lines_starting_with("dialog "),
                 (QList<QByteArray>{"dialog Open Image|" + fx.home().toLocal8Bit() + "|Image Files (*.img *.iso)"}));
        QVERIFY(r.boxes().isEmpty());
        QVERIFY(fx.calls().isEmpty());
        QVERIFY(r.log.contains("windows VorlixMenu"));
    }

    // The terminal is an X program. On a Wayland desktop without an X
    // server for it, a job must not even start: it would unmount the volume
    // and then fail. The offscreen platform stands in for the compositor.
    void wayland_without_x_display_data()
    {
        QTest::addColumn<QStringList>("env"); // NAME=value, or NAME alone: unset
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("refused");

        const QString image = image_button;
        const QString ufs2 = QString(reformat_button) + "|click:UFS2 (BSD)";
        const QStringList wayland = {"WAYLAND_DISPLAY=wayland-0", "DISPLAY"};
        QTest::newRow("copy, Wayland alone") << wayland << image << true;
        QTest::newRow("format, Wayland alone") << wayland << ufs2 << true;
        QTest::newRow("copy, empty DISPLAY") << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY="} << image
                                             << true;
        QTest::newRow("copy, Wayland with XWayland")
            << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:7"} << image << false;
        QTest::newRow("format, Wayland with XWayland")
            << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:7"} << ufs2 << false;
        QTest::newRow("format, no Wayland") << QStringList{"DISPLAY"} << ufs2 << false;
    }

    void wayland_without_x_display()
    {
        QFETCH(QStringList, env);
        QFETCH(QString, script);
        QFETCH(bool, refused);

        BinaryFixture fx;
        fx.env.insert("VORLIX_HOOK_OPEN", fx.write_file("os.img", "image bytes"));
        fx.add_fake("kelmo");
        fx.add_fake_terminal();
        fx.add_fake("pernix", ": > \"$2\"");
        fx.add_fake("draskel", ": > \"$2\"");
        for (const QString &entry : env) {
            if (entry.contains('='))
                fx.env.insert(entry.section('=', 0, 0), entry.section('=', 1));
            else
                fx.unset.append(entry);
        }

        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, script + "|windows");
        QVERIFY(r.finished);
        if (!refused) {
            QCOMPARE(r.exit_code, 0);
            QCOMPARE(fx.calls().value(0), (QList<QByteArray>{"kelmo", "umount", "/media/da0s1"}));
            return;
        }
        // Told why, nothing run, nothing asked for, and the windows stay.
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(r.boxes(), Texts{"The terminal for this job, urxvt, needs an X display,\n"
                                  "but this Wayland session has none (DISPLAY is not set).\n"
                                  "Nothing was unmounted or written.\n\n"
                                  "Turn on XWayland in your desktop and start vorlix with\n"
                                  "DISPLAY set, then try again."});
        QCOMPARE(fx.calls(), Calls{});
        QVERIFY(r.lines_starting_with("dialog ").isEmpty());
        QCOMPARE(r.lines_starting_with("windows "),
                 QList<QByteArray>{script == image_button ? "windows VorlixMenu" : "windows VorlixMenu QFormatMenu"});
    }

    void format_choosers_are_separate_windows()
    {
        BinaryFixture fx;
        const QString twice = QString(reformat_button) + '|' + reformat_button;
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"},
                                   twice + "|windows|close:QFormatMenu|windows");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(r.lines_starting_with("windows "), (QList<QByteArray>{"windows VorlixMenu QFormatMenu QFormatMenu",
                                                            "windows VorlixMenu QFormatMenu"}));
        QVERIFY(r.boxes().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestJobs)
#include "test_jobs.moc"
