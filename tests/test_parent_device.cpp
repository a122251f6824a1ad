#include "common/parent_device.h"

#include <QtTest>

#include <stdlib.h>

class TestParentDevice : public QObject
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
};

QTEST_APPLESS_MAIN(TestParentDevice)
#include "test_parent_device.moc"
