#include "common/disk_names.h"

#include <QtTest>

#include <stdlib.h>

class TestDiskNames : public QObject
{
    Q_OBJECT

private slots:
    void cuts_after_first_digit_run_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QByteArray>("disk");

        QTest::newRow("slice") << QByteArray("/dev/da0s1") << QByteArray("/dev/da0");
        QTest::newRow("gpt partition") << QByteArray("/dev/da0p2") << QByteArray("/dev/da0");
        QTest::newRow("two-digit disk, slice and letter") << QByteArray("/dev/da12s1a") << QByteArray("/dev/da12");
        QTest::newRow("whole digit run stays") << QByteArray("/dev/da10p1") << QByteArray("/dev/da10");
        QTest::newRow("ada") << QByteArray("/dev/ada1p3") << QByteArray("/dev/ada1");
        QTest::newRow("mmcsd") << QByteArray("/dev/mmcsd0s1") << QByteArray("/dev/mmcsd0");
        QTest::newRow("whole disk unchanged") << QByteArray("/dev/da0") << QByteArray("/dev/da0");
        QTest::newRow("no digit") << QByteArray("/dev/cd") << QByteArray("/dev/cd");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
        QTest::newRow("second run cut") << QByteArray("/dev/diskid/DISK-4C5300") << QByteArray("/dev/diskid/DISK-4");
        // U+0663 ARABIC-INDIC DIGIT THREE is D9 A3 in UTF-8; high-bit bytes
        // are never digits, however a locale may classify them.
        QTest::newRow("high-bit bytes are not digits")
            << QByteArray("/dev/da\xd9\xa3s1\xb3" "x") << QByteArray("/dev/da\xd9\xa3s1");
        QTest::newRow("0xb2 superscript two is no digit") << QByteArray("/dev/\xb2" "ab") << QByteArray("/dev/\xb2" "ab");
        // Only the device's own name is cut, whatever digits and spaces
        // the folders above it hold.
        QTest::newRow("digits in the folders") << QByteArray("/tmp/x7k2/u1000/demo/da0s1")
                                               << QByteArray("/tmp/x7k2/u1000/demo/da0");
        QTest::newRow("a digit folder, no digit in the name") << QByteArray("/tmp/user/1000/vorlix-demo/stick")
                                                              << QByteArray("/tmp/user/1000/vorlix-demo/stick");
        QTest::newRow("an image in a numbered folder") << QByteArray("/srv/vm7/stick.img")
                                                       << QByteArray("/srv/vm7/stick.img");
        QTest::newRow("spaces and digits above") << QByteArray("/home/a b 2/my demo 3/da0s1")
                                                 << QByteArray("/home/a b 2/my demo 3/da0");
        QTest::newRow("relative, folder with digits") << QByteArray("d1/da12p3") << QByteArray("d1/da12");
        QTest::newRow("no folder") << QByteArray("da0s1") << QByteArray("da0");
        QTest::newRow("ends in a slash") << QByteArray("/tmp/d1/") << QByteArray("/tmp/d1/");
    }

    void cuts_after_first_digit_run()
    {
        QFETCH(QByteArray, device);
        QFETCH(QByteArray, disk);

        char *copy = parent_device(device.constData());
        QVERIFY(copy != nullptr);
        QVERIFY(copy != device.constData()); // always a fresh copy
        QCOMPARE(QByteArray(copy), disk);
        free(copy);
    }

    // Which mounted filesystems live on the disk a job is about to write.
    void partitions_of_a_disk_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("disk");
        QTest::addColumn<bool>("on_disk");

        QTest::newRow("the disk itself") << QByteArray("/dev/da0") << QByteArray("/dev/da0") << true;
        QTest::newRow("slice") << QByteArray("/dev/da0s2") << QByteArray("/dev/da0") << true;
        QTest::newRow("slice and letter") << QByteArray("/dev/da0s1a") << QByteArray("/dev/da0") << true;
        QTest::newRow("gpt partition") << QByteArray("/dev/da0p3") << QByteArray("/dev/da0") << true;
        QTest::newRow("ada") << QByteArray("/dev/ada1p2") << QByteArray("/dev/ada1") << true;
#ifdef __linux__
        const bool linux_names = true;
#else
        const bool linux_names = false;
#endif
        QTest::newRow("digits after a Linux disk name") << QByteArray("/dev/sda1") << QByteArray("/dev/sda")
                                                        << linux_names;
        QTest::newRow("nvme partition") << QByteArray("/dev/nvme0n1p1") << QByteArray("/dev/nvme0n1") << true;
        QTest::newRow("another disk: sdap1 is not sda's") << QByteArray("/dev/sdap1") << QByteArray("/dev/sda") << false;
        QTest::newRow("another disk: sdas2 is not sda's") << QByteArray("/dev/sdas2") << QByteArray("/dev/sda") << false;
        QTest::newRow("another disk: da10 is not da1") << QByteArray("/dev/da10s1") << QByteArray("/dev/da1") << false;
        QTest::newRow("another disk: da01") << QByteArray("/dev/da01") << QByteArray("/dev/da0") << false;
        QTest::newRow("another disk: ada0 is not da0") << QByteArray("/dev/ada0s1") << QByteArray("/dev/da0") << false;
        QTest::newRow("letter without a number") << QByteArray("/dev/da0s") << QByteArray("/dev/da0") << false;
        QTest::newRow("other suffix") << QByteArray("/dev/da0.eli") << QByteArray("/dev/da0") << false;
        // A label names a partition without naming its disk.
        QTest::newRow("label") << QByteArray("/dev/gpt/stick") << QByteArray("/dev/da0") << false;
        QTest::newRow("another label") << QByteArray("/dev/msdosfs/BACKUP2") << QByteArray("/dev/msdosfs/BACKUP")
                                       << linux_names;
        QTest::newRow("not a device") << QByteArray("tmpfs") << QByteArray("/dev/da0") << false;
        QTest::newRow("empty disk name matches nothing") << QByteArray("s1") << QByteArray("") << false;
    }

    void partitions_of_a_disk()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, disk);
        QFETCH(bool, on_disk);

        QCOMPARE(names_disk_or_partition(name.constData(), disk.constData()), on_disk);
    }

    // Two spellings of one name must compare equal, or a mounted partition
    // spelled "/dev//da0s2" would go unnoticed.
    void collapse_path_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("collapsed");

        QTest::newRow("as it is") << QByteArray("/dev/da0s1") << QByteArray("/dev/da0s1");
        QTest::newRow("double slash") << QByteArray("/dev//da0s1") << QByteArray("/dev/da0s1");
        QTest::newRow("leading slashes") << QByteArray("///dev/da0") << QByteArray("/dev/da0");
        QTest::newRow("dot step") << QByteArray("/dev/./da0s1") << QByteArray("/dev/da0s1");
        QTest::newRow("dots and slashes") << QByteArray("/./dev/.//./da0s1/.") << QByteArray("/dev/da0s1");
        QTest::newRow("final slash") << QByteArray("/media/da0s1/") << QByteArray("/media/da0s1");
        QTest::newRow("root stays") << QByteArray("//") << QByteArray("/");
        QTest::newRow("dot-dot stays") << QByteArray("/dev/../dev/da0") << QByteArray("/dev/../dev/da0");
        QTest::newRow("dotted names stay") << QByteArray("/dev/.da0/..x") << QByteArray("/dev/.da0/..x");
        QTest::newRow("relative") << QByteArray("./-da0s1") << QByteArray("-da0s1");
        QTest::newRow("only a dot") << QByteArray("./") << QByteArray(".");
        QTest::newRow("empty stays empty") << QByteArray("") << QByteArray("");
    }

    void collapse_path()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, collapsed);

        QCOMPARE(QByteArray(::collapse_path(path.constData()).c_str()), collapsed);
    }
};

QTEST_APPLESS_MAIN(TestDiskNames)
#include "test_disk_names.moc"
