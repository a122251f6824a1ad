#include "app/translations.h"

#include "common/texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>
#include <QTranslator>

#include <stdlib.h>
#include <string.h>

namespace {

// Messages follow LC_ALL, else LC_MESSAGES, else LANG, as in every other
// program. The toolkit would also honour $LANGUAGE under the C locale;
// the C library does not, and a C locale means the texts as written.
bool c_locale_for_messages()
{
    for (const char *var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = getenv(var);
        if (value != nullptr && *value != '\0')
            return strcmp(value, "C") == 0 || strcmp(value, "POSIX") == 0 || strncmp(value, "C.", 2) == 0;
    }
    return true;
}

// Our translation for the user's language, or null: under the C locale, or
// for a language we have none for.
QTranslator *own_translation(QObject *parent)
{
    if (c_locale_for_messages())
        return nullptr;
    auto *own = new QTranslator(parent);
    if (!own->load(QLocale::system(), QStringLiteral("vorlix"), QStringLiteral("_"), QStringLiteral(":/i18n"))) {
        delete own;
        return nullptr;
    }
    return own;
}

} // namespace

void load_translations(QCoreApplication *app)
{
    // Without ours, our texts stay English, and so must the toolkit's: its
    // translation alone would also turn the layout right to left for a
    // language such as Hebrew, mirroring English text.
    QTranslator *own = own_translation(app);
    if (own == nullptr)
        return;
    app->installTranslator(own);
    // The toolkit's buttons and file dialog in that very language, not in
    // another one the user also listed.
    auto *toolkit = new QTranslator(app);
    if (toolkit->load(QStringLiteral("qtbase_") + own->language(), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app->installTranslator(toolkit);
    else
        delete toolkit;
    translate_texts();
}

void load_translations_without_toolkit()
{
    // Kept for the rest of the process, which is short: this is for the
    // texts said when the toolkit could not start.
    if (const QTranslator *own = own_translation(nullptr))
        translate_texts(*own);
}
