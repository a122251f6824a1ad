#include "actions/fs_info.h"
#include "platform/fs_query.h"
#include "system_needs.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestFsInfo : public QObject
{
    Q_OBJECT

private slots:
    void formats_the_report_data()
    {
        QTest::addColumn<quint64>("block_size");
        QTest::addColumn<quint64>("blocks");
        QTest::addColumn<quint64>("free_blocks");
        QTest::addColumn<quint64>("available_blocks");
        QTest::addColumn<QByteArray>("sizes");

        QTest::newRow("worked example") << quint64(4096) << quint64(1000000) << quint64(250000) << quint64(250000)
            << QByteArray("Total:\t      4.10 GB  (      3.81 GiB)\n"
                          "Used:\t      3.07 GB  (      2.86 GiB,  75.0%)\n"
                          "Available:\t      1.02 GB  (      0.95 GiB,  25.0%)\n");
        QTest::newRow("no blocks: 0.0, never nan") << quint64(4096) << quint64(0) << quint64(0) << quint64(0)
            << QByteArray("Total:\t      0.00 GB  (      0.00 GiB)\n"
                          "Used:\t      0.00 GB  (      0.00 GiB,   0.0%)\n"
                          "Available:\t      0.00 GB  (      0.00 GiB,   0.0%)\n");
        QTest::newRow("full: 100.0 overflows its field") << quint64(512) << quint64(2000000) << quint64(0) << quint64(0)
            << QByteArray("Total:\t      1.02 GB  (      0.95 GiB)\n"
                          "Used:\t      1.02 GB  (      0.95 GiB,  100.0%)\n"
                          "Available:\t      0.00 GB  (      0.00 GiB,   0.0%)\n");
        // 2^32 blocks of 4 KiB: products beyond 32 bits must not wrap.
        QTest::newRow("16 TiB") << quint64(4096) << quint64(4294967296) << quint64(1073741824) << quint64(1073741824)
            << QByteArray("Total:\t  17592.19 GB  (  16384.00 GiB)\n"
                          "Used:\t  13194.14 GB  (  12288.00 GiB,  75.0%)\n"
                          "Available:\t   4398.05 GB  (   4096.00 GiB,  25.0%)\n");
        // UFS keeps 8% for the superuser: used is what is not free, available
        // what a user may still write, and the two no longer add up.
        QTest::newRow("a reserve left out of available") << quint64(4096) << quint64(1000000) << quint64(100000)
                                                         << quint64(20000)
            << QByteArray("Total:\t      4.10 GB  (      3.81 GiB)\n"
                          "Used:\t      3.69 GB  (      3.43 GiB,  90.0%)\n"
                          "Available:\t      0.08 GB  (      0.08 GiB,   2.0%)\n");
        QTest::newRow("the reserve in use: nothing available") << quint64(4096) << quint64(1000000) << quint64(30000)
                                                               << quint64(0)
            << QByteArray("Total:\t      4.10 GB  (      3.81 GiB)\n"
                          "Used:\t      3.97 GB  (      3.70 GiB,  97.0%)\n"
                          "Available:\t      0.00 GB  (      0.00 GiB,   0.0%)\n");
    }

    void formats_the_report()
    {
        QFETCH(quint64, block_size);
        QFETCH(quint64, blocks);
        QFETCH(quint64, free_blocks);
        QFETCH(quint64, available_blocks);
        QFETCH(QByteArray, sizes);

        char buf[1025];
        format_fs_info(buf, sizeof buf, "/media/da0s1", "msdosfs", "/dev/da0s1", block_size, blocks,
                       free_blocks, available_blocks);
        QCOMPARE(QByteArray(buf),
                 "Mount point:\t/media/da0s1\nFilesystem:\tmsdosfs\nDevice:\t/dev/da0s1\n" + sizes);
    }

    void cuts_a_long_report()
    {
        const QByteArray device(2000, 'd');
        char buf[1025];
        format_fs_info(buf, sizeof buf, "/", "ufs", device.constData(), 512, 1, 1, 1);
        QCOMPARE(qstrlen(buf), 1024u);
    }

    // What the system says about a real directory, beside df's view. POSIX
    // df -P -k, as both GNU and BSD df take it; GNU rounds the size in KiB
    // up and BSD down.
    void agrees_with_df()
    {
        if (const char *why = lacks_mount_table())
            QSKIP(why);
        const QByteArray df_path = program_on_path("df");
        if (df_path.isEmpty())
            QSKIP("df is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        FsUsage usage;
        QCOMPARE(fs_query(dir.path().toLocal8Bit().constData(), &usage), 0);

        QProcess df;
        df.start(QString::fromLocal8Bit(df_path), {"-P", "-k", dir.path()});
        QVERIFY(df.waitForFinished());
        QCOMPARE(df.exitCode(), 0);
        const QList<QByteArray> fields = df.readAllStandardOutput().split('\n').value(1).simplified().split(' ');
        QCOMPARE(fields.size(), 6);
        QCOMPARE(QByteArray(usage.mounted_on), fields[5]);
        const quint64 bytes = usage.block_size * usage.blocks;
        const quint64 kib = fields[1].toULongLong();
        QVERIFY2(kib == bytes / 1024 || kib == (bytes + 1023) / 1024,
                 qPrintable(QString("df: %1 KiB, statfs: %2 bytes").arg(kib).arg(bytes)));
    }

    // The link's target is where the filesystem is; the report names the
    // mounted-on directory the system knows, not the path we were given.
    void follows_a_symlinked_mount_point()
    {
        if (const char *why = lacks_mount_table())
            QSKIP(why);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray target = separate_mount_point(dir.path().toLocal8Bit());
        if (target.isEmpty())
            QSKIP("neither /proc nor /dev is a mount point apart from the temporary folder's");
        const QString link = dir.filePath("to-mount");
        QVERIFY(QFile::link(QString::fromLatin1(target), link));
        FsUsage usage;
        QCOMPARE(fs_query(link.toLocal8Bit().constData(), &usage), 0);
        QCOMPARE(QByteArray(usage.mounted_on), target);
        // Below the link too: /proc/self, /dev/null.
        const QString below = link + (target == "/proc" ? "/self" : "/null");
        QCOMPARE(fs_query(below.toLocal8Bit().constData(), &usage), 0);
        QCOMPARE(QByteArray(usage.mounted_on), target);
    }

    void fails_on_a_missing_directory()
    {
        FsUsage usage;
        QCOMPARE(fs_query("/nonexistent/vorlix/mount", &usage), -1);
    }
};

QTEST_APPLESS_MAIN(TestFsInfo)
#include "test_fs_info.moc"
