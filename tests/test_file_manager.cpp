#include "actions/file_manager.h"
#include "box_recorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Which file manager is chosen. Launching it is checked on the real
// binary (test_volume_actions).
class TestFileManager : public QObject
{
    Q_OBJECT

private slots:
    void chooses_by_precedence_data()
    {
        QTest::addColumn<bool>("env_set");
        QTest::addColumn<QByteArray>("env");
        // null: no configuration file; "<dir>": a directory in its place
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QByteArray>("command"); // <prefix>: the candidates' prefix
        QTest::addColumn<bool>("empty_message");

        const QStringList both = {"thunar", "dolphin"};
        QTest::newRow("variable beats config") << true << QByteArray("myfm") << QByteArray("dolphin\n")
                                               << both << int(FM_COMMAND) << QByteArray("myfm") << false;
        QTest::newRow("empty variable still used") << true << QByteArray("") << QByteArray("dolphin\n")
                                                   << both << int(FM_COMMAND) << QByteArray("") << false;
        QTest::newRow("config line") << false << QByteArray() << QByteArray("dolphin\nnemo\n") << both
                                     << int(FM_COMMAND) << QByteArray("dolphin") << false;
        QTest::newRow("config without newline") << false << QByteArray() << QByteArray("dolphin") << both
                                                << int(FM_COMMAND) << QByteArray("dolphin") << false;
        QTest::newRow("config first line empty") << false << QByteArray() << QByteArray("\ndolphin\n") << both
                                                 << int(FM_COMMAND) << QByteArray("") << false;
        QTest::newRow("config line with option is one name")
            << false << QByteArray() << QByteArray("dolphin --split\n") << both << int(FM_COMMAND)
            << QByteArray("dolphin --split") << false;
        QTest::newRow("empty config: no command, candidates unused")
            << false << QByteArray() << QByteArray("") << both << int(FM_NONE) << QByteArray() << true;
        QTest::newRow("directory at config path acts as empty")
            << false << QByteArray() << QByteArray("<dir>") << both << int(FM_NONE) << QByteArray() << true;
        QTest::newRow("first candidate by list order")
            << false << QByteArray() << QByteArray() << both << int(FM_COMMAND)
            << QByteArray("<prefix>/bin/dolphin") << false;
        QTest::newRow("first of the list") << false << QByteArray() << QByteArray()
                                           << QStringList{"thunar", "pcmanfm-qt", "pcmanfm"} << int(FM_COMMAND)
                                           << QByteArray("<prefix>/bin/pcmanfm-qt") << false;
        QTest::newRow("no candidate installed")
            << false << QByteArray() << QByteArray() << QStringList{"mc"} << int(FM_NONE) << QByteArray() << false;
    }

    void chooses_by_precedence()
    {
        QFETCH(bool, env_set);
        QFETCH(QByteArray, env);
        QFETCH(QByteArray, config);
        QFETCH(QStringList, installed);
        QFETCH(int, choice);
        QFETCH(QByteArray, command);
        QFETCH(bool, empty_message);

        QTemporaryDir root;
        QVERIFY(root.isValid());
        QDir(root.path()).mkpath("home/.config");
        QDir(root.path()).mkpath("prefix/bin");
        const QString config_path = root.filePath("home/.config/vorlix");
        if (config == "<dir>") {
            QVERIFY(QDir().mkdir(config_path));
        } else if (!config.isNull()) {
            QFile f(config_path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(config);
        }
        for (const QString &name : installed) {
            QFile f(root.filePath("prefix/bin/" + name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        qputenv("HOME", root.filePath("home").toLocal8Bit());
        if (env_set)
            qputenv("VORLIX_FM", env);
        else
            qunsetenv("VORLIX_FM");

        BoxRecorder boxes;
        char buf[1025];
        const char *chosen = nullptr;
        const QByteArray prefix = root.filePath("prefix").toLocal8Bit();
        const int got = choose_file_manager(prefix.constData(), buf, sizeof buf, &chosen);
        qunsetenv("VORLIX_FM");

        QCOMPARE(got, choice);
        if (choice == FM_COMMAND)
            QCOMPARE(QByteArray(chosen), QByteArray(command).replace("<prefix>", prefix));
        QCOMPARE(boxes.lines, empty_message ? QList<QByteArray>{"box .config/vorlix exists, but is empty."}
                                      : QList<QByteArray>{});
    }
};

QTEST_MAIN(TestFileManager)
#include "test_file_manager.moc"
