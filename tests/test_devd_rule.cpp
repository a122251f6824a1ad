#include <QFile>
#include <QtTest>

#include <regex.h>

// The devd.conf(5) rule shipped as an example (doc/examples), against the
// names devfs gives disks and the events it sends. devd compiles each match
// as an extended regular expression anchored at both ends ("^" + expression
// + "$"), ignoring case, so a pattern that reads right unanchored can still
// miss most sticks. vorlix(1) shows the same rule: the page and the file
// cannot drift apart.
class TestDevdRule : public QObject
{
    Q_OBJECT

    regex_t cdev_rule;
    regex_t type_rule;
    int compiled = 0;

    // The rule's lines, from "notify" to "};", without blanks at either end.
    static QList<QByteArray> rule_block(const QByteArray &text)
    {
        QList<QByteArray> block;
        for (const QByteArray &line : text.split('\n')) {
            const QByteArray trimmed = line.simplified();
            if (block.isEmpty() && !trimmed.startsWith("notify "))
                continue;
            block.append(trimmed);
            if (trimmed == "};")
                break;
        }
        return block;
    }

    // The pattern of `match "<var>" "<pattern>";` in the block.
    static QByteArray pattern_of(const QList<QByteArray> &block, const QByteArray &var)
    {
        for (const QByteArray &line : block) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() == 3 && words[0] == "match" && words[1] == '"' + var + '"'
                && words[2].startsWith('"') && words[2].endsWith("\";"))
                return words[2].mid(1, words[2].size() - 3);
        }
        return QByteArray();
    }

    void compile(regex_t *re, const QByteArray &pattern)
    {
        // devd expands $name in a match; the rule has no use for that.
        QVERIFY2(!pattern.isEmpty() && !pattern.contains('$'), pattern.constData());
        const QByteArray anchored = '^' + pattern + '$';
        QCOMPARE(regcomp(re, anchored.constData(), REG_EXTENDED | REG_NOSUB | REG_ICASE), 0);
        ++compiled;
    }

private slots:
    void initTestCase()
    {
        QFile conf(VORLIX_DEVD_RULE);
        QVERIFY2(conf.open(QIODevice::ReadOnly), VORLIX_DEVD_RULE);
        const QList<QByteArray> rule = rule_block(conf.readAll());
        QVERIFY(!rule.isEmpty() && rule.last() == "};");

        QFile page(VORLIX_MANPAGE);
        QVERIFY2(page.open(QIODevice::ReadOnly), VORLIX_MANPAGE);
        QByteArray text = page.readAll();
        // roff: \e prints a backslash, \- a minus, \& nothing.
        text.replace("\\e", "\x01").replace("\\-", "-").replace("\\&", "");
        QList<QByteArray> shown = rule_block(text);
        for (QByteArray &line : shown) {
            QVERIFY2(!line.contains('\\'), line.constData());
            line.replace('\x01', '\\');
        }
        QCOMPARE(shown, rule);

        compile(&cdev_rule, pattern_of(rule, "cdev"));
        compile(&type_rule, pattern_of(rule, "type"));
        QCOMPARE(pattern_of(rule, "system"), QByteArray("DEVFS"));
        QCOMPARE(pattern_of(rule, "subsystem"), QByteArray("CDEV"));
    }

    void cleanupTestCase()
    {
        if (compiled > 0)
            regfree(&cdev_rule);
        if (compiled > 1)
            regfree(&type_rule);
    }

    // CREATE for each node made; MEDIACHANGE for a card put into a reader
    // already there (and for each last writer's close, which the hook
    // tells apart); nothing else.
    void takes_the_events_the_hook_handles_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("matched");
        QTest::newRow("CREATE") << QByteArray("CREATE") << true;
        QTest::newRow("MEDIACHANGE") << QByteArray("MEDIACHANGE") << true;
        QTest::newRow("DESTROY") << QByteArray("DESTROY") << false;
        QTest::newRow("SIZECHANGE") << QByteArray("SIZECHANGE") << false;
        QTest::newRow("CREATED") << QByteArray("CREATED") << false;
    }

    void takes_the_events_the_hook_handles()
    {
        QFETCH(QByteArray, type);
        QFETCH(bool, matched);
        QVERIFY(compiled == 2);
        QCOMPARE(regexec(&type_rule, type.constData(), 0, nullptr, 0) == 0, matched);
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
        QVERIFY(compiled == 2);
        QCOMPARE(regexec(&cdev_rule, cdev.constData(), 0, nullptr, 0) == 0, matched);
    }
};

QTEST_APPLESS_MAIN(TestDevdRule)
#include "test_devd_rule.moc"
