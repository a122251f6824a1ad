#include "actions/fs_info.h"
#include "common/format_text.h"
#include "common/texts.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct TsEntry {
    QString context;
    QString source;
    QString translation;
    bool finished = false;
};

// The messages of a .ts file that lrelease compiles (not the obsolete or
// vanished ones).
QList<TsEntry> read_ts(const QString &path, QString *error)
{
    QList<TsEntry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return entries;
    }
    QXmlStreamReader xml(&file);
    QString context;
    TsEntry entry;
    bool compiled = true;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            entry = TsEntry();
            entry.context = context;
        } else if (xml.name() == u"source") {
            entry.source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            compiled = type != u"obsolete" && type != u"vanished";
            entry.finished = type.isEmpty();
            entry.translation = xml.readElementText();
            if (compiled)
                entries.append(entry);
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return entries;
}

// Answers from a table, as a loaded translation would.
class TableTranslator : public QTranslator
{
public:
    QHash<QByteArray, QByteArray> table;

    QString translate(const char *, const char *source, const char *, int) const override
    {
        return QString::fromUtf8(table.value(source));
    }
    bool isEmpty() const override { return false; }
};

// A message as a box shows it: its lines laid out in the box's font, with
// the box's tab stops.
struct ShownLines {
    QStringList text;
    QList<qreal> width;       // of each whole line
    QList<qreal> after_tabs;  // where the text after a line's last tab starts; -1: no tab
};

ShownLines lay_out(const QByteArray &message, const QFont &font)
{
    QTextDocument doc;
    doc.setDefaultFont(font);
    doc.setPlainText(QString::fromUtf8(message));
    doc.documentLayout(); // lays the blocks out
    ShownLines out;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QTextLine line = block.layout()->lineAt(0);
        out.text.append(block.text());
        out.width.append(line.naturalTextWidth());
        const int tab = block.text().lastIndexOf('\t');
        out.after_tabs.append(tab < 0 ? -1 : line.cursorToX(tab + 1));
    }
    return out;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void ts_files_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("complete");

        const QDir dir(QStringLiteral(VORLIX_TRANSLATIONS_DIR));
        const QStringList files = dir.entryList({"vorlix_*.ts"}, QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        for (const QString &name : files) {
            const QString lang = name.mid(7, name.size() - 10);
            QTest::newRow(qPrintable(lang)) << dir.filePath(name) << (lang == "de" || lang == "fr");
        }
    }

    // A translated format goes to snprintf with the English one's
    // arguments: any other conversion, or another order, reads what is not
    // there. The "vorlix: " that begins a command failure and a final
    // newline stay too.
    void ts_files()
    {
        QFETCH(QString, path);
        QFETCH(bool, complete);

        QString error;
        const QList<TsEntry> entries = read_ts(path, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QHash<QString, TsEntry> by_source;
        for (const TsEntry &e : entries) {
            by_source.insert(e.source, e);
            if (e.translation.isEmpty())
                continue;
            const QByteArray source = e.source.toUtf8(), translation = e.translation.toUtf8();
            const QByteArray where = "\n  source: " + source + "\n  translation: " + translation;
            QVERIFY2(same_conversions(source.constData(), translation.constData()),
                     "other printf conversions" + where);
            QVERIFY2(source.startsWith("vorlix: ") == translation.startsWith("vorlix: "),
                     "the \"vorlix: \" prefix" + where);
            QVERIFY2(source.endsWith('\n') == translation.endsWith('\n'), "the final newline" + where);
        }
        if (!complete)
            return;
        QStringList wanted = {"Open Image", "Image Files (*.img *.iso)"};
        for (int i = 0; i < static_cast<int>(Text::count); ++i)
            wanted.append(QString::fromUtf8(english_text(static_cast<Text>(i))));
        for (const QString &source : wanted) {
            const TsEntry e = by_source.value(source);
            QVERIFY2(e.finished && !e.translation.isEmpty(), qPrintable("not translated: " + source));
        }
    }

    // Every shipped language, as the boxes show it. Filesystem info: all
    // values start at one tab stop, also in a font a tenth smaller or larger
    // (labels keep clear of a stop). The unrecognised-filesystem notice: no
    // line is wider than the widest English one, or the box would wrap it
    // where English does not; the command line stands alone, intact.
    void layout_in_a_box_data()
    {
        QTest::addColumn<QString>("lang");
        const QStringList files = QDir(":/i18n").entryList({"vorlix_*.qm"}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 5);
        for (const QString &name : files) {
            const QString lang = name.mid(7, name.size() - 10);
            QTest::newRow(qPrintable(lang)) << lang;
        }
    }

    void layout_in_a_box()
    {
        QFETCH(QString, lang);

        QMessageBox box;
        const QLabel *label = box.findChild<QLabel *>("qt_msgbox_label");
        QVERIFY(label != nullptr);
        const QFont font = label->font();

        char notice[1025];
        format_text(notice, sizeof notice, english_text(Text::unknown_fs_notice), "/dev/da0s1", "/dev/da0");
        const QList<qreal> english_widths = lay_out(notice, font).width;
        const qreal widest_english = *std::max_element(english_widths.cbegin(), english_widths.cend());

        QTranslator translator;
        QVERIFY(translator.load(":/i18n/vorlix_" + lang + ".qm"));
        QCoreApplication::installTranslator(&translator);
        translate_texts();
        char info[1025];
        format_fs_info(info, sizeof info, "/media/da0s1", "msdosfs", "/dev/da0s1", 4096, 7864320, 7340032, 7340032);
        format_text(notice, sizeof notice, tx(Text::unknown_fs_notice), "/dev/da0s1", "/dev/da0");
        QCoreApplication::removeTranslator(&translator);
        translate_texts();
        QVERIFY2(!QByteArray(info).startsWith("Mount point:"), "not translated");

        for (const qreal scale : {0.9, 1.0, 1.1}) {
            QFont sized = font;
            sized.setPointSizeF(font.pointSizeF() * scale);
            const ShownLines lines = lay_out(info, sized);
            for (int i = 0; i < 6; ++i)
                QVERIFY2(lines.after_tabs[i] > 0 && lines.after_tabs[i] == lines.after_tabs[0],
                         qPrintable(QString("at %1 of the size: \"%2\" starts its value at %3, \"%4\" at %5")
                                        .arg(scale).arg(lines.text[0]).arg(lines.after_tabs[0])
                                        .arg(lines.text[i]).arg(lines.after_tabs[i])));
        }

        const ShownLines lines = lay_out(notice, font);
        for (int i = 0; i < lines.text.size(); ++i)
            QVERIFY2(lines.width[i] <= widest_english,
                     qPrintable(QString("\"%1\" is %2 wide, English at most %3")
                                    .arg(lines.text[i]).arg(lines.width[i]).arg(widest_english)));
        QVERIFY(lines.text.contains("    draskel /dev/da0 fs-type"));
    }

    void unsafe_translations_are_not_used_data()
    {
        QTest::addColumn<int>("text");
        QTest::addColumn<QByteArray>("translation");
        QTest::addColumn<bool>("used");

        const int unmount = static_cast<int>(Text::unmount_button);
        const int exited = static_cast<int>(Text::exited_with_status);
        const int info = static_cast<int>(Text::fs_info);
        QTest::newRow("same conversion elsewhere") << unmount << QByteArray("%s aushängen") << true;
        QTest::newRow("no text at all") << unmount << QByteArray() << false;
        QTest::newRow("other conversion") << unmount << QByteArray("%d aushängen") << false;
        QTest::newRow("one too many") << unmount << QByteArray("%s %s aushängen") << false;
        QTest::newRow("one too few") << exited << QByteArray("%s beendet") << false;
        QTest::newRow("swapped") << exited << QByteArray("Status %d: %s") << false;
        QTest::newRow("positional") << exited << QByteArray("%2$d %1$s") << false;
        QTest::newRow("writes memory") << exited << QByteArray("%s%n %d") << false;
        QTest::newRow("cut short") << exited << QByteArray("%s %d %") << false;
        QTest::newRow("other width") << info << QByteArray("%s%s%s%9.2f%10.2f%10.2f%10.2f%4.1f%10.2f%10.2f%4.1f")
                                     << false;
        QTest::newRow("literal percent is fine") << exited << QByteArray("100%% %s: %d") << true;
    }

    void unsafe_translations_are_not_used()
    {
        QFETCH(int, text);
        QFETCH(QByteArray, translation);
        QFETCH(bool, used);

        const Text id = static_cast<Text>(text);
        TableTranslator translator;
        translator.table.insert(english_text(id), translation);
        QCoreApplication::installTranslator(&translator);
        translate_texts();
        const QByteArray got = tx(id);
        QCoreApplication::removeTranslator(&translator);
        translate_texts();

        QCOMPARE(got, used ? translation : QByteArray(english_text(id)));
        QCOMPARE(QByteArray(tx(id)), QByteArray(english_text(id)));
    }

    void conversions_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QStringList>("conversions");

        QTest::newRow("none") << QByteArray("Failed to unmount.") << true << QStringList{};
        QTest::newRow("literal percent") << QByteArray("%4.1f%%)") << true << QStringList{"%4.1f"};
        QTest::newRow("flags, width, length") << QByteArray("%-10s|%+.3lf|%zu") << true
                                              << QStringList{"%-10s", "%+.3lf", "%zu"};
        QTest::newRow("star width") << QByteArray("%*d") << true << QStringList{"%*d"};
        QTest::newRow("%n") << QByteArray("%n") << false << QStringList{};
        QTest::newRow("unknown") << QByteArray("%y") << false << QStringList{};
        QTest::newRow("positional") << QByteArray("%1$s") << false << QStringList{};
        QTest::newRow("dangling") << QByteArray("50%") << false << QStringList{};
    }

    void conversions()
    {
        QFETCH(QByteArray, format);
        QFETCH(bool, valid);
        QFETCH(QStringList, conversions);

        std::vector<std::string> got;
        QCOMPARE(printf_conversions(format.constData(), &got), valid);
        if (valid) {
            QStringList seen;
            for (const std::string &c : got)
                seen.append(QString::fromStdString(c));
            QCOMPARE(seen, conversions);
        }
    }

    // Texts are cut at their byte limit, but never in the middle of a
    // character: a box would show the half as a replacement mark.
    void cuts_at_a_character_boundary_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("text");

        // "Unmount " is 8 bytes; ä is 2, € is 3 and 😀 is 4 bytes in UTF-8.
        QTest::newRow("fits") << QByteArray("/media/ä") << 65 << QByteArray("Unmount /media/ä");
        QTest::newRow("ascii cut") << QByteArray("abcdef") << 11 << QByteArray("Unmount ab");
        QTest::newRow("two-byte character cut") << QByteArray("aä") << 11 << QByteArray("Unmount a");
        QTest::newRow("two-byte character kept") << QByteArray("äa") << 11 << QByteArray("Unmount ä");
        QTest::newRow("three-byte character cut after 1") << QByteArray("a€") << 11 << QByteArray("Unmount a");
        QTest::newRow("three-byte character cut after 2") << QByteArray("€") << 11 << QByteArray("Unmount ");
        QTest::newRow("four-byte character cut") << QByteArray("😀") << 12 << QByteArray("Unmount ");
        QTest::newRow("four-byte character kept") << QByteArray("😀x") << 13 << QByteArray("Unmount 😀");
        // Bytes that are no UTF-8 at all are the name's own: kept as given.
        QTest::newRow("invalid bytes kept") << QByteArray("\xff\xfe\xfd") << 11 << QByteArray("Unmount \xff\xfe");
    }

    void cuts_at_a_character_boundary()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, size);
        QFETCH(QByteArray, text);

        char buf[65];
        format_text(buf, static_cast<size_t>(size), "Unmount %s", value.constData());
        QCOMPARE(QByteArray(buf), text);
    }
};

QTEST_MAIN(TestTranslations)
#include "test_translations.moc"
