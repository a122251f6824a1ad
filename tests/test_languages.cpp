#include "binary_fixture.h"

#include "common/format_text.h"
#include "common/texts.h"

#include <QTranslator>
#include <QtTest>

#include <stdio.h>

using Texts = QList<QByteArray>;

// A text as the program shows it in lang ("" for English): the shipped
// translation where it is safe to use, formatted with arg where it takes one.
static QByteArray shown(const QString &lang, Text id, const char *arg = nullptr)
{
    QByteArray format = english_text(id);
    QTranslator translator;
    if (!lang.isEmpty() && translator.load(":/i18n/vorlix_" + lang + ".qm")) {
        const QString t = translator.translate(texts_context, format.constData());
        if (!t.isEmpty() && same_conversions(format.constData(), t.toUtf8().constData()))
            format = t.toUtf8();
    }
    if (arg == nullptr)
        return format;
    char buf[1025];
    snprintf(buf, sizeof buf, format.constData(), arg);
    return buf;
}

// The real binary in the user's language: labels still name the disk and
// the mount point, and boxes come in that language. Under the C locale and
// English ones every text is the English original, byte for byte.
class TestLanguages : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QString>("lang"); // the translation expected; empty: English

        QTest::newRow("C.UTF-8") << QStringList{"LANG=C.UTF-8"} << QString();
        QTest::newRow("POSIX") << QStringList{"LANG=POSIX"} << QString();
        QTest::newRow("nothing set") << QStringList{"LANG="} << QString();
        QTest::newRow("en_US.UTF-8") << QStringList{"LANG=en_US.UTF-8"} << QString();
        QTest::newRow("en_GB.UTF-8") << QStringList{"LANG=en_GB.UTF-8"} << QString();
        QTest::newRow("C, though LANGUAGE asks for German") << QStringList{"LANG=C", "LANGUAGE=de"} << QString();
        QTest::newRow("LC_ALL=C over German") << QStringList{"LANG=de_DE.UTF-8", "LC_ALL=C"} << QString();
        QTest::newRow("a language without a translation") << QStringList{"LANG=it_IT.UTF-8"} << QString();
        QTest::newRow("de_DE.UTF-8") << QStringList{"LANG=de_DE.UTF-8"} << QString("de");
        QTest::newRow("fr_FR.UTF-8") << QStringList{"LANG=fr_FR.UTF-8"} << QString("fr");
        QTest::newRow("LC_MESSAGES over LANG") << QStringList{"LANG=fr_FR.UTF-8", "LC_MESSAGES=de_DE.UTF-8"}
                                               << QString("de");
        QTest::newRow("pt_BR.UTF-8") << QStringList{"LANG=pt_BR.UTF-8"} << QString("pt_BR");
    }

    void texts()
    {
        QFETCH(QStringList, env);
        QFETCH(QString, lang);

        BinaryFixture fx;
        fx.add_fake("kelmo", "exit 1");
        for (const QString &entry : env)
            fx.env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        const QByteArray mp = "/media/da0s1";
        const QByteArray reformat = shown(lang, Text::reformat_button, "/dev/da0");
        const QByteArray unmount = shown(lang, Text::unmount_button, mp);
        const BinaryRun r = fx.run({mp, "/dev/da0s1", "msdosfs"},
                                   "close:VorlixMenu|click:" + QString::fromUtf8(unmount) + "|click:"
                                       + QString::fromUtf8(reformat) + "|buttons|names");
        QCOMPARE(r.exit_code, 99);

        const QByteArray main_buttons = "buttons VorlixMenu: " + shown(lang, Text::info_button) + '|'
                                        + shown(lang, Text::fm_button) + '|' + reformat + '|'
                                        + shown(lang, Text::copy_button, "/dev/da0") + '|' + unmount;
        const QByteArray chooser_buttons = "buttons QFormatMenu: " + shown(lang, Text::exfat_button) + '|'
                                           + shown(lang, Text::ufs2_button) + '|'
                                           + shown(lang, Text::ext4_button);
        QCOMPARE(r.lines_starting_with("buttons "), (Texts{main_buttons, chooser_buttons}));
        QCOMPARE(r.boxes(), (Texts{shown(lang, Text::close_refused), shown(lang, Text::unmount_failed_for, mp)}));
        // What a screen reader says for the windows, in the same language.
        QCOMPARE(r.lines_starting_with("name "),
                 (Texts{"name VorlixMenu: " + shown(lang, Text::window_name, mp), "name QFormatMenu: " + reformat}));

        if (lang.isEmpty()) {
            // The originals, spelt out: nothing may drift.
            QCOMPARE(main_buttons, QByteArray("buttons VorlixMenu: Filesystem info|Open file manager|"
                                              "Reformat /dev/da0|Copy disk image to /dev/da0|"
                                              "Unmount /media/da0s1"));
            QCOMPARE(r.boxes().value(0), QByteArray("Use Unmount to unmount and close this window."));
        } else {
            // A translation that is really there, not the English again.
            QVERIFY(shown(lang, Text::close_refused) != english_text(Text::close_refused));
            QVERIFY(unmount != shown(QString(), Text::unmount_button, mp));
        }
    }

    // The toolkit's own texts (the OK button, the file dialog) and its
    // layout direction come only with a translation of ours, and in the
    // same language. Hebrew has none of ours: its toolkit translation
    // alone would mirror English text right to left.
    void toolkit_follows_our_language_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QByteArray>("toolkit");

        QTest::newRow("C") << QStringList{"LANG=C.UTF-8"} << QByteArray("toolkit ltr OK");
        QTest::newRow("Hebrew, none of ours") << QStringList{"LANG=he_IL.UTF-8"} << QByteArray("toolkit ltr OK");
        QTest::newRow("Arabic, none of ours") << QStringList{"LANG=ar_EG.UTF-8"} << QByteArray("toolkit ltr OK");
        QTest::newRow("Spanish") << QStringList{"LANG=es_ES.UTF-8"} << QByteArray("toolkit ltr Aceptar");
        QTest::newRow("Hebrew preferred, Spanish ours")
            << QStringList{"LANG=es_ES.UTF-8", "LANGUAGE=he:es"} << QByteArray("toolkit ltr Aceptar");
    }

    void toolkit_follows_our_language()
    {
        QFETCH(QStringList, env);
        QFETCH(QByteArray, toolkit);

        BinaryFixture fx;
        for (const QString &entry : env)
            fx.env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        const BinaryRun r = fx.run({"/media/da0s1", "/dev/da0s1", "msdosfs"}, "toolkit");
        QCOMPARE(r.exit_code, 99);
        QCOMPARE(r.lines_starting_with("toolkit "), Texts{toolkit});
    }

    void usage_line_data()
    {
        QTest::addColumn<QString>("lang_env");
        QTest::addColumn<QByteArray>("start");

        QTest::newRow("C") << "C" << QByteArray("Usage: ");
        QTest::newRow("en_US.UTF-8") << "en_US.UTF-8" << QByteArray("Usage: ");
        QTest::newRow("de_DE.UTF-8") << "de_DE.UTF-8" << QByteArray("Aufruf: ");
    }

    void usage_line()
    {
        QFETCH(QString, lang_env);
        QFETCH(QByteArray, start);

        BinaryFixture fx;
        fx.env.insert("LANG", lang_env);
        const BinaryRun r = fx.run({"/media/da0s1"});
        QCOMPARE(r.exit_code, 64);
        QVERIFY2(r.err.contains(start + testable_binary().toLocal8Bit() + ' '), r.err.constData());
        if (start == "Usage: ")
            QVERIFY(r.err.contains("Usage: " + testable_binary().toLocal8Bit() + " /mount/point device fs-type\n"));
    }
};

QTEST_GUILESS_MAIN(TestLanguages)
#include "test_languages.moc"
