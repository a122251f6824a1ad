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

void install(QCoreApplication *app, const QLocale &locale, const QString &name, const QString &dir)
{
    auto *translator = new QTranslator(app);
    if (translator->load(locale, name, QStringLiteral("_"), dir))
        app->installTranslator(translator);
    else
        delete translator;
}

} // namespace

void load_translations(QCoreApplication *app)
{
    if (c_locale_for_messages())
        return;
    const QLocale locale = QLocale::system();
    install(app, locale, QStringLiteral("vorlix"), QStringLiteral(":/i18n"));
    install(app, locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    translate_texts();
}
