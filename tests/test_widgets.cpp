#include "actions/qshell.h"
#include "app/vorlix_menu.h"
#include "common/message_box.h"
#include "jobs/format_menu.h"
#include "box_recorder.h"
#include "system_needs.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

static QStringList button_texts(const QWidget &w)
{
    QStringList out;
    for (const QPushButton *b : w.findChildren<QPushButton *>())
        out << b->text();
    return out;
}

static QByteArray write_script(const QString &path, const QByteArray &body)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write("#!/bin/sh\n" + body + "\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path.toLocal8Bit();
}

class TestWidgets : public QObject
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
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QFormatMenu *>(w))
                w->deleteLater();
    }

    void main_window_buttons_data()
    {
        QTest::addColumn<QByteArray>("mount_point");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QStringList>("texts");

        QTest::newRow("usual volume")
            << QByteArray("/media/da0s1") << QByteArray("/dev/da0s1")
            << QStringList{"Filesystem info", "Open file manager", "Reformat /dev/da0",
                           "Copy disk image to /dev/da0", "Unmount /media/da0s1"};
        const QByteArray mp60 = "/media/" + QByteArray(53, 'm');
        QTest::newRow("60-byte mount point gives a 64-byte label")
            << mp60 << QByteArray("/dev/da0")
            << QStringList{"Filesystem info", "Open file manager", "Reformat /dev/da0",
                           "Copy disk image to /dev/da0", QString("Unmount ") + mp60.left(56)};
        const QByteArray long_disk = "/dev/" + QByteArray(100, 'x') + "1";
        QTest::newRow("long disk name cut at 64 bytes")
            << QByteArray("/m") << long_disk + "s1"
            << QStringList{"Filesystem info", "Open file manager",
                           QString("Reformat ") + long_disk.left(55),
                           QString("Copy disk image to ") + long_disk.left(45), "Unmount /m"};
        QTest::newRow("ampersand is no shortcut")
            << QByteArray("/media/R&D") << QByteArray("/dev/a&b0s1")
            << QStringList{"Filesystem info", "Open file manager", "Reformat /dev/a&&b0",
                           "Copy disk image to /dev/a&&b0", "Unmount /media/R&&D"};
        QTest::newRow("markup is literal")
            << QByteArray("/media/<b>x</b>") << QByteArray("/dev/da1s1")
            << QStringList{"Filesystem info", "Open file manager", "Reformat /dev/da1",
                           "Copy disk image to /dev/da1", "Unmount /media/<b>x</b>"};
    }

    void main_window_buttons()
    {
        QFETCH(QByteArray, mount_point);
        QFETCH(QByteArray, device);
        QFETCH(QStringList, texts);

        char prog[] = "vorlix", fs[] = "msdosfs";
        char *argv[] = {prog, mount_point.data(), device.data(), fs, nullptr};
        VorlixMenu menu(argv);
        QCOMPARE(button_texts(menu), texts);
        for (const QPushButton *b : menu.findChildren<QPushButton *>()) {
            QVERIFY(b->text().replace("&&", "&").toUtf8().size() <= 64);
            QVERIFY2(b->shortcut().isEmpty(), qPrintable(b->text()));
        }
        QVERIFY(menu.windowTitle().isEmpty());
    }

    // Both windows keep the size their buttons need, fixed (so a tiling
    // window manager floats them), and it still follows their texts and the
    // font: a longer label or a larger font makes it larger, fixed again.
    void windows_keep_their_natural_size_data()
    {
        QTest::addColumn<bool>("chooser");
        QTest::addColumn<QByteArray>("mount_point");
        QTest::addColumn<int>("point_size"); // 0: the default font
        QTest::addColumn<bool>("wider");
        QTest::addColumn<bool>("taller");

        QTest::newRow("main window") << false << QByteArray("/media/da0s1") << 0 << false << false;
        QTest::newRow("main window, a longer mount point")
            << false << "/media/" + QByteArray(50, 'm') << 0 << true << false;
        QTest::newRow("main window, a larger font") << false << QByteArray("/media/da0s1") << 30 << true << true;
        QTest::newRow("chooser") << true << QByteArray("/media/da0s1") << 0 << false << false;
        QTest::newRow("chooser, a larger font") << true << QByteArray("/media/da0s1") << 30 << true << true;
    }

    void windows_keep_their_natural_size()
    {
        QFETCH(bool, chooser);
        QFETCH(QByteArray, mount_point);
        QFETCH(int, point_size);
        QFETCH(bool, wider);
        QFETCH(bool, taller);

        // The windows borrow these strings.
        char prog[] = "vorlix", dev[] = "/dev/da0s1", fs[] = "msdosfs";
        QByteArray usual_mount_point = "/media/da0s1";
        auto make = [&](QByteArray &mp) -> QWidget * {
            if (chooser)
                return new QFormatMenu(mp.constData(), dev);
            char *argv[] = {prog, mp.data(), dev, fs, nullptr};
            return new VorlixMenu(argv);
        };
        std::unique_ptr<QWidget> usual(make(usual_mount_point)), w(make(mount_point));
        if (point_size != 0) {
            QFont font = w->font();
            font.setPointSize(point_size);
            w->setFont(font);
        }
        usual->show();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(w->size(), w->layout()->totalSizeHint());
        QCOMPARE(w->width() > usual->width(), wider);
        QCOMPARE(w->height() > usual->height(), taller);
    }

    // Titles stay empty; what a screen reader says names the volume, and
    // the disk a chooser would erase, as the main window's labels do.
    void accessible_names_data()
    {
        QTest::addColumn<QByteArray>("mount_point");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QString>("main_name");
        QTest::addColumn<QString>("chooser_name");

        QTest::newRow("usual volume") << QByteArray("/media/da0s1") << QByteArray("/dev/da0s1")
                                      << "vorlix: /media/da0s1" << "Reformat /dev/da0";
        // A name is read out, not shown on a button: no doubled '&'.
        QTest::newRow("ampersands") << QByteArray("/media/R&D") << QByteArray("/dev/a&b0s1")
                                    << "vorlix: /media/R&D" << "Reformat /dev/a&b0";
        // Not cut at a button's 64 bytes.
        const QByteArray long_mp = "/media/" + QByteArray(100, 'm');
        QTest::newRow("long mount point") << long_mp << QByteArray("/dev/da1s1")
                                          << QString("vorlix: " + long_mp) << "Reformat /dev/da1";
    }

    void accessible_names()
    {
        QFETCH(QByteArray, mount_point);
        QFETCH(QByteArray, device);
        QFETCH(QString, main_name);
        QFETCH(QString, chooser_name);

        char prog[] = "vorlix", fs[] = "msdosfs";
        char *argv[] = {prog, mount_point.data(), device.data(), fs, nullptr};
        VorlixMenu menu(argv);
        QFormatMenu chooser(mount_point.constData(), device.constData());
        for (QWidget *w : {static_cast<QWidget *>(&menu), static_cast<QWidget *>(&chooser)}) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            QVERIFY(a != nullptr);
            QCOMPARE(a->role(), QAccessible::Window);
            QCOMPARE(a->text(QAccessible::Name), w == &menu ? main_name : chooser_name);
            QVERIFY(w->windowTitle().isEmpty());
        }
    }

    // Styles draw the focus frame only while the window counts as focused
    // from the keyboard. A keyboard user must see what Return would press:
    // from the start, and again once a message box is gone.
    void focus_frame_shows_without_a_tab()
    {
        char prog[] = "vorlix", mp[] = "/nonexistent/da0s1", dev[] = "/dev/da0s1", fs[] = "msdosfs";
        char *argv[] = {prog, mp, dev, fs, nullptr};
        VorlixMenu menu(argv);
        menu.show();
        menu.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&menu));

        auto frame_on = [](QWidget *w) {
            QStyleOption opt;
            opt.initFrom(w);
            return (opt.state & QStyle::State_HasFocus) && (opt.state & QStyle::State_KeyboardFocusChange);
        };
        auto *first = qobject_cast<QPushButton *>(QApplication::focusWidget());
        QVERIFY(first != nullptr);
        QCOMPARE(first->text(), QString("Filesystem info"));
        QVERIFY(frame_on(first));

        QTest::keyClick(first, Qt::Key_Return); // a box, answered
        QCOMPARE(boxes->lines, QList<QByteArray>{"box Cannot get filesystem info."});
        menu.activateWindow(); // as a window manager would
        QVERIFY(QTest::qWaitForWindowActive(&menu));
        QTRY_COMPARE(QApplication::focusWidget(), first);
        QVERIFY(frame_on(first));
    }

    void main_window_refuses_to_close()
    {
        char prog[] = "vorlix", mp[] = "/media/da0s1", dev[] = "/dev/da0s1", fs[] = "msdosfs";
        char *argv[] = {prog, mp, dev, fs, nullptr};
        VorlixMenu menu(argv);
        menu.show();
        for (int attempt = 0; attempt < 2; ++attempt) {
            QVERIFY(!menu.close());
            QVERIFY(menu.isVisible());
        }
        QCOMPARE(boxes->lines, (QList<QByteArray>{"box Use Unmount to unmount and close this window.",
                                           "box Use Unmount to unmount and close this window."}));
    }

    void shell_meta_object()
    {
        const QMetaObject &mo = QShell::staticMetaObject;
        QCOMPARE(mo.className(), "QShell");
        QCOMPARE(mo.superClass(), &QObject::staticMetaObject);
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 8);
        QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);
        QCOMPARE(mo.enumeratorCount() - mo.enumeratorOffset(), 0);

        const QList<QPair<QByteArray, QByteArray>> slots_expected = {
            {"fm()", "int"},           {"reformat()", "int"},           {"info()", "void"},
            {"setMount_point(char*)", "void"}, {"setDevice(char*)", "void"}, {"setFs_type(char*)", "void"},
            {"image()", "int"},        {"unmount()", "void"},
        };
        for (int i = 0; i < slots_expected.size(); ++i) {
            const QMetaMethod m = mo.method(mo.methodOffset() + i);
            QCOMPARE(m.methodSignature(), slots_expected[i].first);
            QCOMPARE(QByteArray(m.typeName()), slots_expected[i].second);
            QCOMPARE(m.methodType(), QMetaMethod::Slot);
            QCOMPARE(m.access(), QMetaMethod::Public);
        }
        QCOMPARE(mo.method(mo.methodOffset() + 4).parameterNames().value(0), QByteArray("new_device"));
    }

    void format_menu_meta_object_and_buttons()
    {
        const QMetaObject &mo = QFormatMenu::staticMetaObject;
        QCOMPARE(mo.className(), "QFormatMenu");
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 3);
        const QByteArray names[] = {"exfat()", "ufs2()", "ext4()"};
        for (int i = 0; i < 3; ++i) {
            const QMetaMethod m = mo.method(mo.methodOffset() + i);
            QCOMPARE(m.methodSignature(), names[i]);
            QCOMPARE(m.methodType(), QMetaMethod::Slot);
            QCOMPARE(m.access(), QMetaMethod::Private);
            QCOMPARE(QByteArray(m.typeName()), QByteArray("void"));
        }

        QFormatMenu menu("/media/da0s1", "/dev/da0s1");
        QCOMPARE(button_texts(menu),
                 (QStringList{"EXFAT (Windows and most Unix)", "UFS2 (BSD)", "EXT4 (Linux)"}));
        menu.show();
        QVERIFY(!menu.isModal());
        QVERIFY(menu.windowTitle().isEmpty());
        QVERIFY(menu.close()); // unlike the main window
        QVERIFY(boxes->lines.isEmpty());
    }

    // Later actions use the device set through the meta-object.
    void set_device_through_meta_object()
    {
        if (const char *why = lacks_mount_table())
            QSKIP(why);
        QTemporaryDir dir;
        QByteArray mp = dir.path().toLocal8Bit();
        char first[] = "/dev/da0s1", second[] = "/dev/da7s2", fs[] = "msdosfs";
        QShell shell;
        shell.setMount_point(mp.data());
        shell.setDevice(first);
        shell.setFs_type(fs);
        QVERIFY(QMetaObject::invokeMethod(&shell, "setDevice", Q_ARG(char *, second)));
        QVERIFY(QMetaObject::invokeMethod(&shell, "info"));
        QCOMPARE(boxes->lines.size(), 1);
        QVERIFY2(boxes->lines[0].contains("\\nDevice:\\t/dev/da7s2\\n"), boxes->lines[0].constData());
    }

    void int_slots_deliver_their_result()
    {
        QTemporaryDir dir;
        QByteArray mp = dir.path().toLocal8Bit();
        char dev[] = "/dev/da0s1";
        QShell shell;
        shell.setMount_point(mp.data());
        shell.setDevice(dev);

        int result = -1;
        QVERIFY(QMetaObject::invokeMethod(&shell, "reformat", Q_RETURN_ARG(int, result)));
        QCOMPARE(result, 0);
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::any_of(windows.cbegin(), windows.cend(),
                            [](QWidget *w) { return qobject_cast<QFormatMenu *>(w) && w->isVisible(); }));

        // Commands of our own: true and false live in /bin on Linux and in
        // /usr/bin on FreeBSD.
        const QByteArray fails = write_script(dir.filePath("fails"), "exit 1");
        const QByteArray succeeds = write_script(dir.filePath("succeeds"), "exit 0");
        qputenv("VORLIX_FM", fails);
        QVERIFY(QMetaObject::invokeMethod(&shell, "fm", Q_RETURN_ARG(int, result)));
        QCOMPARE(result, 1 << 8); // the run status of exit 1
        qputenv("VORLIX_FM", succeeds);
        QVERIFY(QMetaObject::invokeMethod(&shell, "fm", Q_RETURN_ARG(int, result)));
        QCOMPARE(result, 0);
        qunsetenv("VORLIX_FM");

        // A cancelled image dialog is no failure.
        result = -1;
        QVERIFY(QMetaObject::invokeMethod(&shell, "image", Q_RETURN_ARG(int, result)));
        QCOMPARE(result, 0);
        QCOMPARE(boxes->lines.size(), 2);
        QCOMPARE(boxes->lines[0], "box vorlix: File manager error: " + fails + " exited with status 1\\n");
        QVERIFY(boxes->lines[1].startsWith("dialog Open Image|"));
    }

    // A volume label is anyone's text: markup in it must stay literal, and
    // the message keeps its line breaks.
    void message_box_shows_plain_text()
    {
        boxes.reset(); // this test answers the box itself
        const QByteArray text = "Unmount failed for /media/<b>x</b><img src=\"/etc/passwd\">.\nSecond line\n";
        QString shown;
        Qt::TextFormat box_format = Qt::AutoText, label_format = Qt::AutoText;
        QTimer::singleShot(100, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            box_format = box->textFormat();
            if (auto *label = box->findChild<QLabel *>("qt_msgbox_label")) {
                shown = label->text();
                label_format = label->textFormat();
            }
            box->buttons().first()->click();
        });
        message_box(text.constData());
        QCOMPARE(box_format, Qt::PlainText);
        QCOMPARE(label_format, Qt::PlainText);
        QCOMPARE(shown.toUtf8(), text);
    }
};

QTEST_MAIN(TestWidgets)
#include "test_widgets.moc"
