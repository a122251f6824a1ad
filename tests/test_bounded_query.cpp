#include "common/child_exits.h"
#include "platform/bounded_query.h"

#include <QtTest>

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// The toolkit-free question with a bound: the session agent asks through
// it whatever may block on a filesystem that stopped answering.
class TestBoundedQuery : public QObject
{
    Q_OBJECT

    static long long now_ms()
    {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }

private slots:
    void initTestCase() { QVERIFY(watch_child_exits()); }

    void answers_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<int>("error");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("limit_ms");
        // A child that answers, or dies, is given all the time a loaded
        // machine may take (a sanitizer build on two busy cores); one that
        // never does is given up on at a short bound, and that bound holds.
        const int ample = 10000, short_bound = 300;
        QTest::newRow("at once") << 0 << true << 0 << QByteArray("da0s1") << ample;
        // Bytes of every value, NULs included, come back whole.
        QTest::newRow("binary") << 1 << true << 0 << QByteArray("a\0b\xff", 4) << ample;
        QTest::newRow("large") << 2 << true << 0 << QByteArray(200000, 'x') << ample;
        QTest::newRow("never") << 3 << false << int(ETIMEDOUT) << QByteArray() << short_bound;
        QTest::newRow("dies first") << 4 << false << int(EIO) << QByteArray() << ample;
        // A question stuck with SIGKILL blocked cannot be: a child that
        // ignores SIGTERM still ends.
        QTest::newRow("ignores SIGTERM") << 5 << false << int(ETIMEDOUT) << QByteArray() << short_bound;
    }

    void answers()
    {
        QFETCH(int, how);
        QFETCH(bool, answered);
        QFETCH(int, error);
        QFETCH(QByteArray, expected);
        QFETCH(int, limit_ms);
        const auto question = [how]() -> std::string {
            switch (how) {
            case 0: return "da0s1";
            case 1: return std::string("a\0b\xff", 4);
            case 2: return std::string(200000, 'x');
            case 3: for (;;) pause();
            case 4: _exit(3);
            default: signal(SIGTERM, SIG_IGN); for (;;) pause();
            }
        };
        std::string answer;
        const long long start = now_ms();
        errno = 0;
        const bool ok = bounded_query(question, limit_ms, &answer);
        const int saved = errno;
        const long long took = now_ms() - start;
        QCOMPARE(ok, answered);
        if (ok)
            QCOMPARE(QByteArray(answer.data(), int(answer.size())), expected);
        else
            QCOMPARE(saved, error);
        QVERIFY2(took < limit_ms + 1700, qPrintable(QString::number(took)));
        // Nothing is left running or unreaped for long.
        usleep(100 * 1000);
        reap_abandoned_children();
        QCOMPARE(waitpid(-1, nullptr, WNOHANG), -1);
        QCOMPARE(errno, ECHILD);
    }
};

QTEST_GUILESS_MAIN(TestBoundedQuery)
#include "test_bounded_query.moc"
