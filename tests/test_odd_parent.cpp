#include "binary_fixture.h"
#include "system_needs.h"

#include <QFile>
#include <QtTest>

using Texts = QList<QByteArray>;

static const QByteArray copy_done = "Copy complete.  You may need to disconnect and\n"
                                    "reconnect the device to mount all new filesystems.";

// Every fake notes, in state.log, its name, its ignored and blocked signal
// sets and which of descriptors 0 to 2 it was given; the file manager also
// notes vorlix's own signal sets (its parent's).
static QByteArray noting_state(const QByteArray &then)
{
    return "note() {\n"
           "  ign=; blk=\n"
           "  while read -r k v; do case $k in SigIgn:) ign=$v;; SigBlk:) blk=$v;; esac; done < /proc/$1/status\n"
           "  printf '%s ign=%s blk=%s' \"$2\" \"$ign\" \"$blk\" >> \"$STATE\"\n"
           "}\n"
           "note $$ \"${0##*/}\"\n"
           "printf ' fds=' >> \"$STATE\"\n"
           "for fd in 0 1 2; do [ -e /proc/$$/fd/$fd ] && printf '%s' $fd >> \"$STATE\"; done\n"
           "printf '\\n' >> \"$STATE\"\n"
           "[ \"${0##*/}\" = fm ] && { note $PPID vorlix; printf '\\n' >> \"$STATE\"; }\n"
           + then;
}

// Signals 32 and 33 belong to the C library, which lets no program change
// them (the test runner leaves them ignored): a line of state.log with those
// two left out of each set.
static QByteArray without_libc_signals(const QByteArray &line)
{
    QList<QByteArray> words = line.split(' ');
    for (QByteArray &w : words) {
        if (w.startsWith("ign=") || w.startsWith("blk=")) {
            const quint64 set = w.mid(4).toULongLong(nullptr, 16) & ~Q_UINT64_C(0x180000000);
            w = w.left(4) + QByteArray::number(set, 16).rightJustified(16, '0');
        }
    }
    return words.join(' ');
}

// The real binary started the way automounters, shells and nohup start it:
// with signals ignored or blocked, or without standard descriptors. Each
// action must still report what really happened, and every command it runs
// must start with a clean slate.
class TestOddParent : public QObject
{
    Q_OBJECT

    QByteArray perl;

private slots:
    // The fakes read their signal sets and descriptors from Linux's /proc,
    // and perl makes the odd parent.
    void initTestCase()
    {
        if (const char *why = lacks_linux_proc())
            QSKIP(why);
        perl = program_on_path("perl");
        if (perl.isEmpty())
            QSKIP("perl is not installed");
    }

    void actions_data()
    {
        QTest::addColumn<QList<QByteArray>>("wrapper");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("kelmo_exit");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<Texts>("boxes");
        QTest::addColumn<Texts>("state"); // state.log, one line a command

        const QByteArray clean = " ign=0000000000000000 blk=0000000000000000 fds=012";
        // SIGCHLD ignored and blocked, SIGHUP ignored (nohup), SIGTERM blocked.
        const QList<QByteArray> odd_signals = {
            perl, "-e",
            "use POSIX; $SIG{CHLD} = 'IGNORE'; $SIG{HUP} = 'IGNORE';"
            " sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGCHLD, SIGTERM)); exec @ARGV"};
        const QList<QByteArray> closed_fds = {perl, "-e",
                                              "close STDIN; close STDOUT; close STDERR; exec @ARGV"};
        // vorlix keeps SIGHUP ignored and SIGTERM blocked for itself; only
        // SIGCHLD is put right.
        const QByteArray vorlix_odd = "vorlix ign=0000000000000001 blk=0000000000004000";
        const QByteArray vorlix_plain = "vorlix ign=0000000000000000 blk=0000000000000000";

        const struct {
            const char *name;
            QList<QByteArray> wrapper;
            QByteArray vorlix;
        } parents[] = {{"signals", odd_signals, vorlix_odd}, {"no fds", closed_fds, vorlix_plain}};
        for (const auto &p : parents) {
            QTest::newRow(QByteArray(p.name) + ": unmount") << p.wrapper << "click:Unmount /media/da0s1" << 0 << 0
                                                            << Texts{} << Texts{"kelmo" + clean};
            QTest::newRow(QByteArray(p.name) + ": file manager")
                << p.wrapper << "click:Open file manager" << 0 << 99 << Texts{} << Texts{"fm" + clean, p.vorlix};
            QTest::newRow(QByteArray(p.name) + ": image copy")
                << p.wrapper << "click:Copy disk image to /dev/da0" << 0 << 0 << Texts{copy_done}
                << Texts{"kelmo" + clean, "urxvt" + clean, "pernix" + clean};
            // A failure still says how the helper ended, not what a failed wait left in errno.
            QTest::newRow(QByteArray(p.name) + ": image copy, unmount fails")
                << p.wrapper << "click:Copy disk image to /dev/da0" << 1 << 69
                << Texts{"vorlix: unmount failed: kelmo exited with status 1\n", "Failed to unmount.",
                         "Image copy failed."}
                << Texts{"kelmo" + clean};
        }
    }

    void actions()
    {
        QFETCH(QList<QByteArray>, wrapper);
        QFETCH(QString, script);
        QFETCH(int, kelmo_exit);
        QFETCH(int, exit_code);
        QFETCH(Texts, boxes);
        QFETCH(Texts, state);

        BinaryFixture fx;
        fx.wrapper = wrapper;
        fx.env.insert("STATE", fx.path("state.log"));
        fx.env.insert("VORLIX_FM", "fm");
        fx.env.insert("VORLIX_HOOK_OPEN", fx.write_file("os.img", "image bytes"));
        fx.add_fake("kelmo", noting_state("exit " + QByteArray::number(kelmo_exit)));
        fx.add_fake("fm", noting_state("exit 0"));
        fx.add_fake("urxvt", noting_state("shift\n\"$@\"\nexit 0"));
        fx.add_fake("pernix", noting_state(": > \"$2\""));

        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, script);
        QVERIFY(r.finished);
        QCOMPARE(r.exit_code, exit_code);
        QCOMPARE(r.boxes(), boxes);
        QFile log(fx.path("state.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        Texts seen;
        for (const QByteArray &line : log.readAll().split('\n'))
            if (!line.isEmpty())
                seen.append(without_libc_signals(line));
        QCOMPARE(seen, state);
    }
};

QTEST_GUILESS_MAIN(TestOddParent)
#include "test_odd_parent.moc"
