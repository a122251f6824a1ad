#include "common/child_exits.h"
#include "common/child_runner.h"
#include "common/message_box.h"
#include "common/wait_limits.h"
#include "box_recorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// The runner is the only way a child process is made; these check what the
// actions rely on: the right status, the child's messages shown by the
// parent in order, and no wait on anything but the child itself.
class TestChildRunner : public QObject
{
    Q_OBJECT

    std::unique_ptr<BoxRecorder> boxes;

private slots:
    void init()
    {
        boxes = std::make_unique<BoxRecorder>();
    }

    void cleanup()
    {
        boxes.reset();
    }

    void reports_the_childs_exit_status()
    {
        ChildStatus status;
        QVERIFY(run_child([] { return 3; }, &status));
        QVERIFY(WIFEXITED(status.wait_status));
        QCOMPARE(WEXITSTATUS(status.wait_status), 3);
        QCOMPARE(status.exec_errno, 0);
        QVERIFY(boxes->lines.isEmpty());
    }

    void a_signal_is_a_failed_run()
    {
        ChildStatus status;
        QVERIFY(run_child([] {
            kill(getpid(), SIGKILL);
            return 0;
        }, &status));
        QVERIFY(WIFSIGNALED(status.wait_status));
    }

    // Messages of a grandchild come first, then the child's, then the
    // parent's own; none is drawn by a forked copy.
    void messages_reach_the_parent_in_order()
    {
        ChildStatus status;
        QVERIFY(run_child([] {
            message_box("child: before");
            ChildStatus inner;
            run_child([] {
                message_box("grandchild\n<b>x</b>");
                return 0;
            }, &inner);
            message_box(nullptr);
            message_box("child: after");
            return 0;
        }, &status));
        message_box("parent");
        QCOMPARE(status.wait_status, 0);
        QCOMPARE(boxes->lines, (QList<QByteArray>{"box child: before", "box grandchild\\n<b>x</b>", "box ",
                                           "box child: after", "box parent"}));
    }

    void a_failed_exec_is_reported_with_the_reason()
    {
        // A PATH of folders anyone may search: one the user may not enter
        // (root's own, under su) would make the reason EACCES.
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/usr/bin:/bin");
        ChildStatus status;
        const char *const argv[] = {"vorlix-no-such-command", "x", nullptr};
        const bool ran = run_command(argv, &status);
        qputenv("PATH", path);
        QVERIFY(ran);
        QVERIFY(status.wait_status != 0);
        QCOMPARE(status.exec_errno, ENOENT);
        QCOMPARE(boxes->lines, (QList<QByteArray>{"box vorlix: exec failed: No such file or directory\\n"}));
    }

    // The report pipe must close at the exec: a command that leaves a
    // background process behind is done when it exits.
    void does_not_wait_for_what_the_command_leaves_behind()
    {
        QElapsedTimer clock;
        clock.start();
        ChildStatus status;
        const char *const argv[] = {"/bin/sh", "-c", "sleep 20 </dev/null >/dev/null 2>&1 & exit 0", nullptr};
        QVERIFY(run_command(argv, &status));
        QCOMPARE(status.wait_status, 0);
        QVERIFY2(clock.elapsed() < 10000, "waited for a grandchild that holds no pipe");
    }

    // Whatever the test process ignores or blocks, the child starts clean.
    void the_child_starts_with_default_signals()
    {
        struct sigaction ign = {}, old_int = {};
        ign.sa_handler = SIG_IGN;
        sigaction(SIGINT, &ign, &old_int);
        sigset_t term, old_mask;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigprocmask(SIG_BLOCK, &term, &old_mask);

        ChildStatus status;
        QVERIFY(run_child([] {
            struct sigaction now = {};
            sigaction(SIGINT, nullptr, &now);
            sigset_t mask;
            sigprocmask(SIG_SETMASK, nullptr, &mask);
            return now.sa_handler == SIG_DFL && !sigismember(&mask, SIGTERM) ? 0 : 1;
        }, &status));

        sigaction(SIGINT, &old_int, nullptr);
        sigprocmask(SIG_SETMASK, &old_mask, nullptr);
        QCOMPARE(status.wait_status, 0);
    }

    void describes_a_failed_run_data()
    {
        QTest::addColumn<bool>("ran");
        QTest::addColumn<int>("wait_status");
        QTest::addColumn<int>("exec_errno");
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("exit status") << true << (1 << 8) << 0 << QByteArray("kelmo exited with status 1");
        QTest::newRow("signal") << true << 9 << 0 << QByteArray("kelmo was killed by signal 9");
        QTest::newRow("could not be started") << true << (70 << 8) << ENOENT
                                              << QByteArray("No such file or directory");
        QTest::newRow("no child: errno") << false << 0 << 0 << QByteArray("Resource temporarily unavailable");
    }

    void describes_a_failed_run()
    {
        QFETCH(bool, ran);
        QFETCH(int, wait_status);
        QFETCH(int, exec_errno);
        QFETCH(QByteArray, text);

        ChildStatus status;
        status.wait_status = wait_status;
        status.exec_errno = exec_errno;
        errno = EAGAIN;
        char buf[1025];
        describe_failed_run(buf, sizeof buf, ran, "kelmo", status);
        QCOMPARE(QByteArray(buf), text);
    }

    void names_as_operands_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("operand");

        QTest::newRow("option-like") << QByteArray("-a") << QByteArray("./-a");
        QTest::newRow("absolute") << QByteArray("/media/-a") << QByteArray("/media/-a");
        QTest::newRow("relative") << QByteArray("da0 s1") << QByteArray("da0 s1");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
    }

    void names_as_operands()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, operand);

        QCOMPARE(QByteArray::fromStdString(as_operand(name.constData())), operand);
    }

    // A question to a filesystem that has stopped answering: the answer
    // comes back whole, or the child is given up on at the bound, and gone.
    void a_query_is_answered_or_given_up_data()
    {
        QTest::addColumn<int>("answer_after_ms"); // -1: never
        QTest::addColumn<bool>("answered");

        QTest::newRow("at once") << 0 << true;
        QTest::newRow("before the bound") << 100 << true;
        QTest::newRow("never") << -1 << false;
    }

    void a_query_is_answered_or_given_up()
    {
        QFETCH(int, answer_after_ms);
        QFETCH(bool, answered);

        int pids[2];
        QVERIFY(pipe(pids) == 0);
        QElapsedTimer clock;
        clock.start();
        std::string answer;
        const bool got = run_query([&] {
            const pid_t self = getpid();
            if (write(pids[1], &self, sizeof self) != sizeof self)
                _exit(1);
            if (answer_after_ms < 0)
                pause(); // stuck, as in a filesystem that does not answer
            usleep(static_cast<useconds_t>(answer_after_ms) * 1000);
            return std::string("a\0b", 3);
        }, 1000, &answer);
        const int err = errno;
        pid_t child = 0;
        QVERIFY(read(pids[0], &child, sizeof child) == sizeof child);
        close(pids[0]);
        close(pids[1]);

        QCOMPARE(got, answered);
        if (answered) {
            QCOMPARE(QByteArray::fromStdString(answer), QByteArray("a\0b", 3));
        } else {
            QCOMPARE(err, ETIMEDOUT);
            QVERIFY2(clock.elapsed() < 5000, "waited past the bound");
        }
        QVERIFY2(kill(child, 0) != 0, "the child was left running");
        QVERIFY(boxes->lines.isEmpty());
    }

    // A companion that runs long: the user is asked, and may stop it, keep
    // waiting, or let the question go by itself when it ends. Stopping
    // ends all it started and is never a success.
    void a_long_wait_is_asked_about_data()
    {
        QTest::addColumn<QString>("answers");
        QTest::addColumn<bool>("stopped");

        QTest::newRow("stopped") << "Stop" << true;
        QTest::newRow("kept waiting") << "Keep waiting|Keep waiting|Keep waiting|Keep waiting" << false;
        QTest::newRow("the question goes by itself") << "wait" << false;
    }

    void a_long_wait_is_asked_about()
    {
        QFETCH(QString, answers);
        QFETCH(bool, stopped);

        watch_child_exits();
        const int ask_ms = wait_limits().ask_ms;
        wait_limits().ask_ms = 300;
        boxes->answerer.set_answers(answers.split('|'));
        QTemporaryDir dir;
        const QByteArray pid_file = dir.filePath("sleeper").toLocal8Bit();
        // A command that leaves a grandchild at work, as kelmo's umount is.
        const QByteArray script = "sleep 30 & echo $! > '" + pid_file + "'; sleep 1; kill $!; exit 0";
        const char *const argv[] = {"/bin/sh", "-c", script.constData(), nullptr};
        Patience patience;
        patience.command = "kelmo";
        patience.folder = "/media/da0s1";
        ChildStatus status;
        QElapsedTimer clock;
        clock.start();
        const bool ran = run_command(argv, &status, &patience);
        wait_limits().ask_ms = ask_ms;

        QVERIFY(ran);
        QCOMPARE(status.stopped, stopped);
        QCOMPARE(status.wait_status == 0, !stopped);
        const QByteArray asked = "ask kelmo has been waiting on /media/da0s1 for 0 seconds.\\nA slow stick can "
                                 "take minutes to write back its cache.\\n\\nKeep waiting, or stop it?";
        QVERIFY(!boxes->lines.isEmpty());
        QCOMPARE(boxes->lines.first(), asked);
        if (stopped) {
            QVERIFY2(clock.elapsed() < 900, "stopping waited for the command to end");
            QFile f(QString::fromLocal8Bit(pid_file));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const pid_t sleeper = f.readAll().trimmed().toInt();
            QTRY_VERIFY2(kill(sleeper, 0) != 0, "what the command started still runs");
            char why[1025];
            describe_failed_run(why, sizeof why, true, "kelmo", status);
            QCOMPARE(QByteArray(why), QByteArray("kelmo was stopped"));
        }
        if (answers == "wait")
            QCOMPARE(boxes->lines.last(), QByteArray("answer went"));
    }

    void leaves_errno_as_it_found_it()
    {
        ChildStatus status;
        errno = EBUSY;
        QVERIFY(run_child([] { return 1; }, &status));
        QCOMPARE(errno, EBUSY);
    }
};

QTEST_MAIN(TestChildRunner)
#include "test_child_runner.moc"
