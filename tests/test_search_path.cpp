#include "binary_fixture.h"
#include "common/search_path.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <unistd.h>

// A hook started from devd(8) or rc has PATH /sbin:/bin:/usr/sbin:/usr/bin,
// while the terminal, the mount helper and the file managers come from
// packages in /usr/local. vorlix completes PATH at start, for its own
// search and for every command it runs.
class TestSearchPath : public QObject
{
    Q_OBJECT

private slots:
    void appends_the_local_folders_data()
    {
        QTest::addColumn<QByteArray>("path"); // null: PATH unset
        QTest::addColumn<QByteArray>("completed");

        const QByteArray both = ":/usr/local/bin:/usr/local/sbin";
        QTest::newRow("from devd or rc") << QByteArray("/sbin:/bin:/usr/sbin:/usr/bin")
                                         << "/sbin:/bin:/usr/sbin:/usr/bin" + both;
        QTest::newRow("the user's folders keep their order, first")
            << QByteArray("/home/u/bin:/usr/bin:/bin") << "/home/u/bin:/usr/bin:/bin" + both;
        QTest::newRow("only the missing one") << QByteArray("/usr/local/bin:/usr/bin")
                                              << QByteArray("/usr/local/bin:/usr/bin:/usr/local/sbin");
        QTest::newRow("both there, in the user's order")
            << QByteArray("/usr/local/sbin:/bin:/usr/local/bin") << QByteArray("/usr/local/sbin:/bin:/usr/local/bin");
        QTest::newRow("trailing slashes name the same folder")
            << QByteArray("/usr/local/bin/:/usr/local/sbin//") << QByteArray("/usr/local/bin/:/usr/local/sbin//");
        QTest::newRow("a longer name is another folder")
            << QByteArray("/usr/local/bin2:/opt/usr/local/sbin") << "/usr/local/bin2:/opt/usr/local/sbin" + both;
        // An empty entry is the current folder, wherever it stands.
        QTest::newRow("empty PATH") << QByteArray("") << both;
        QTest::newRow("empty last entry") << QByteArray("/bin:") << "/bin:" + both;
        char system_default[1025] = "";
        confstr(_CS_PATH, system_default, sizeof system_default);
        QTest::newRow("no PATH: the system's default first") << QByteArray() << system_default + both;
    }

    void appends_the_local_folders()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, completed);
        QCOMPARE(QByteArray::fromStdString(search_path_with_local_dirs(path.isNull() ? nullptr : path.constData())),
                 completed);
    }

    // What a command vorlix runs sees: here the file manager, found in the
    // fixture's folder, which comes first.
    void commands_get_the_completed_path_data()
    {
        QTest::addColumn<QByteArray>("after"); // appended to the fixture's bin folder
        QTest::addColumn<QByteArray>("seen");  // what follows it in the command's PATH

        QTest::newRow("neither there") << QByteArray() << QByteArray(":/usr/local/bin:/usr/local/sbin");
        QTest::newRow("sbin there already") << QByteArray(":/usr/local/sbin:/nonexistent")
                                            << QByteArray(":/usr/local/sbin:/nonexistent:/usr/local/bin");
    }

    void commands_get_the_completed_path()
    {
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, seen);

        BinaryFixture fx;
        fx.seal_path = false;
        const QByteArray bin = fx.bin().toLocal8Bit();
        fx.env.insert("PATH", QString::fromLocal8Bit(bin + after));
        fx.env.insert("VORLIX_FM", "fm");
        fx.env.insert("SEEN", fx.path("seen"));
        fx.add_fake("fm", "printf '%s' \"$PATH\" > \"$SEEN\"");
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, "click:Open file manager");
        QCOMPARE(r.exit_code, 99);
        QVERIFY(r.boxes().isEmpty());
        QFile f(fx.path("seen"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bin + seen);
    }

    // With a folder of fakes bound over /usr/local/bin in a private mount
    // namespace (which takes root), and PATH holding only the fixture's
    // folder: what lives only in /usr/local/bin is found, and a file
    // manager found there runs from there even when PATH names another of
    // that name first.
    void found_in_usr_local_bin_data()
    {
        QTest::addColumn<QString>("click");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QByteArray>("ran");

        QTest::newRow("the mount helper") << "click:Unmount /media/da0s1" << 0 << QByteArray("/usr/local/bin/kelmo");
        QTest::newRow("the file manager, by its path")
            << "click:Open file manager" << 99 << QByteArray("/usr/local/bin/thunar");
    }

    void found_in_usr_local_bin()
    {
        QFETCH(QString, click);
        QFETCH(int, exit_code);
        QFETCH(QByteArray, ran);
        if (geteuid() != 0 || !QFileInfo::exists("/usr/bin/unshare"))
            QSKIP("a private mount namespace takes root and unshare");
        if (!QFileInfo(VORLIX_LOCAL_BIN).isDir())
            QSKIP("there is no " VORLIX_LOCAL_BIN " to bind over");

        BinaryFixture fx;
        fx.seal_path = false;
        fx.env.insert("RAN", fx.path("ran"));
        const QByteArray note = "printf '%s\\n' \"$0\" >> \"$RAN\"";
        // PATH would find this one first.
        fx.add_fake("thunar", note);
        QVERIFY(QDir().mkpath(fx.path("local")));
        for (const char *name : {"kelmo", "thunar"}) {
            const QString file = fx.write_file("local/" + QString::fromLatin1(name), "#!/bin/sh\n" + note + "\n");
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        fx.env.insert("LOCAL", fx.path("local"));
        fx.wrapper = {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-ec",
                      "fakes=$PATH; PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"
                      "mount --bind \"$LOCAL\" " VORLIX_LOCAL_BIN "\n"
                      "PATH=$fakes exec \"$@\"",
                      "sh"};

        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, click);
        QCOMPARE(r.exit_code, exit_code);
        QVERIFY(r.boxes().isEmpty());
        QFile f(fx.path("ran"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), ran + '\n');
    }
};

QTEST_GUILESS_MAIN(TestSearchPath)
#include "test_search_path.moc"
