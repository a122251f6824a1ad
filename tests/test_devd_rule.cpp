#include <QFile>
#include <QtTest>

#include <regex.h>

// The devd.conf(5) rule that vorlix(1) shows, against the names devfs gives
// disks. devd compiles each match as an extended regular expression
// anchored at both ends ("^" + expression + "$"), ignoring case, so a
// pattern that reads right unanchored can still miss most sticks. The rule
// is read from the manual page itself, so the two cannot drift apart.
class TestDevdRule : public QObject
{
    Q_OBJECT

    regex_t rule;
    bool compiled = false;

private slots:
    void initTestCase()
    {
        QFile page(VORLIX_MANPAGE);
        QVERIFY2(page.open(QIODevice::ReadOnly), VORLIX_MANPAGE);
        QList<QByteArray> patterns;
        for (const QByteArray &line : page.readAll().split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() == 3 && words[0] == "match" && words[1] == "\"cdev\"")
                patterns.append(words[2]);
        }
        QCOMPARE(patterns.size(), 1);
        QByteArray pattern = patterns[0];
        QVERIFY2(pattern.startsWith('"') && pattern.endsWith("\";"), pattern.constData());
        pattern = pattern.mid(1, pattern.size() - 3);
        // roff: \e prints a backslash, \- a minus; nothing else is expected.
        pattern.replace("\\e", "\x01").replace("\\-", "-");
        QVERIFY2(!pattern.contains('\\'), pattern.constData());
        pattern.replace('\x01', '\\');
        // devd expands $name in a match; the rule has no use for that.
        QVERIFY2(!pattern.contains('$'), pattern.constData());

        const QByteArray anchored = '^' + pattern + '$';
        QCOMPARE(regcomp(&rule, anchored.constData(), REG_EXTENDED | REG_NOSUB | REG_ICASE), 0);
        compiled = true;
    }

    void cleanupTestCase()
    {
        if (compiled)
            regfree(&rule);
    }

    void matches_as_devd_does_data()
    {
        QTest::addColumn<QByteArray>("cdev");
        QTest::addColumn<bool>("matched");

        const struct {
            const char *cdev;
            bool matched;
            const char *why;
        } cases[] = {
            // USB sticks and card readers on umass(4)
            {"da0", true, "a whole-disk filesystem, as Reformat makes"},
            {"da12", true, "a later disk"},
            {"da0s1", true, "an MBR slice"},
            {"da0s5", true, "a logical slice in an extended partition"},
            {"da0s1a", true, "a BSD partition in a slice"},
            {"da0s2d", true, "another BSD partition"},
            {"da0a", true, "a BSD partition straight on the disk"},
            {"da1h", true, "the last of a label's usual eight"},
            {"da0p1", true, "a GPT partition"},
            {"da1p12", true, "a GPT partition past 9"},
            // SD cards: mmc(4) and mmcsd(4), or sdda(4) through CAM
            {"mmcsd0", true, "a whole SD card"},
            {"mmcsd0s1", true, "an SD card's MBR slice"},
            {"mmcsd0p1", true, "an SD card's GPT partition"},
            {"mmcsd0a", true, "a BSD partition straight on an SD card"},
            {"sdda0", true, "a whole SD card through CAM"},
            {"sdda0s1", true, "its MBR slice"},
            {"sdda0p2", true, "its GPT partition"},
            // internal disks and everything else
            {"ada0", false, "an internal SATA disk"},
            {"ada0p2", false, "a partition of it"},
            {"ada1s1a", false, "a BSD partition of it"},
            {"ada0a", false, "a BSD partition straight on it"},
            {"nvd0", false, "an NVMe disk"},
            {"nvd0p1", false, "a partition of it"},
            {"nda0p1", false, "an NVMe disk through CAM"},
            {"cd0", false, "an optical drive"},
            {"pass0", false, "a CAM pass-through device"},
            {"xpt0", false, "the CAM transport device"},
            {"ugen0.2", false, "a USB device node"},
            {"da0.eli", false, "an encrypted provider on top"},
            {"da0p1.eli", false, "an encrypted partition"},
            {"da0s1a.eli", false, "an encrypted BSD partition"},
            {"da0s1.eli", false, "an encrypted slice"},
            {"da0a.eli", false, "an encrypted BSD partition straight on the disk"},
            {"da0p1.nop", false, "a test layer on top"},
            {"gpt/stick", false, "a GPT label"},
            {"msdosfs/STICK", false, "a filesystem label"},
            {"diskid/DISK-4C530001", false, "a disk identifier"},
            {"mmcsd0boot0", false, "an eMMC boot area"},
            {"mmcsd0rpmb", false, "an eMMC replay-protected area"},
            {"da", false, "no unit number"},
            {"da0s", false, "no slice number"},
            {"da0p", false, "no partition number"},
            {"xda0", false, "more before the name"},
            {"", false, "nothing"},
        };
        for (const auto &c : cases)
            QTest::newRow(QByteArray(c.cdev) + ": " + c.why) << QByteArray(c.cdev) << c.matched;
    }

    void matches_as_devd_does()
    {
        QFETCH(QByteArray, cdev);
        QFETCH(bool, matched);
        QVERIFY(compiled);
        QCOMPARE(regexec(&rule, cdev.constData(), 0, nullptr, 0) == 0, matched);
    }
};

QTEST_APPLESS_MAIN(TestDevdRule)
#include "test_devd_rule.moc"
