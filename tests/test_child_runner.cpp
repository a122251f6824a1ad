#include "common/child_runner.h"
#include "common/message_box.h"
#include "box_recorder.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

#include <errno.h>
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
        int status = -1;
        QVERIFY(run_child([] { return 3; }, &status));
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 3);
        QVERIFY(boxes->lines.isEmpty());
    }

    void a_signal_is_a_failed_run()
    {
        int status = 0;
        QVERIFY(run_child([] {
            kill(getpid(), SIGKILL);
            return 0;
        }, &status));
        QVERIFY(WIFSIGNALED(status));
        QVERIFY(status != 0);
    }

    // Messages of a grandchild come first, then the child's, then the
    // parent's own; none is drawn by a forked copy.
    void messages_reach_the_parent_in_order()
    {
        int status = -1;
        QVERIFY(run_child([] {
            message_box("child: before");
            int inner = 0;
            run_child([] {
                message_box("grandchild\n<b>x</b>");
                return 0;
            }, &inner);
            message_box(nullptr);
            message_box("child: after");
            return 0;
        }, &status));
        message_box("parent");
        QCOMPARE(status, 0);
        QCOMPARE(boxes->lines, (QList<QByteArray>{"box child: before", "box grandchild\\n<b>x</b>", "box ",
                                           "box child: after", "box parent"}));
    }

    void a_failed_exec_is_reported_with_the_reason()
    {
        int status = 0;
        const char *const argv[] = {"vorlix-no-such-command", "x", nullptr};
        QVERIFY(run_child([&argv] { return exec_or_report(argv); }, &status));
        QVERIFY(status != 0);
        QCOMPARE(boxes->lines, (QList<QByteArray>{"box vorlix: exec failed: No such file or directory\\n"}));
    }

    // The report pipe must close at the exec: a command that leaves a
    // background process behind is done when it exits.
    void does_not_wait_for_what_the_command_leaves_behind()
    {
        QElapsedTimer clock;
        clock.start();
        int status = -1;
        const char *const argv[] = {"/bin/sh", "-c", "sleep 20 </dev/null >/dev/null 2>&1 & exit 0", nullptr};
        QVERIFY(run_child([&argv] { return exec_or_report(argv); }, &status));
        QCOMPARE(status, 0);
        QVERIFY2(clock.elapsed() < 10000, "waited for a grandchild that holds no pipe");
    }

    void leaves_errno_as_it_found_it()
    {
        int status = -1;
        errno = EBUSY;
        QVERIFY(run_child([] { return 1; }, &status));
        QCOMPARE(errno, EBUSY);
    }
};

QTEST_MAIN(TestChildRunner)
#include "test_child_runner.moc"
