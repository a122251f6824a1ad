#include "app/toolkit_start.h"

#include "app/translations.h"
#include "common/format_text.h"
#include "common/texts.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QtGlobal>

#include <string>
#include <vector>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sysexits.h>
#include <unistd.h>

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

// Messages may come from the toolkit's own threads (its X event reader).
QBasicMutex held_lock;
std::vector<HeldMessage> held;
QtMessageHandler previous = nullptr;
bool holding = false;
// What chose the display, as NAME=value pairs; empty when nothing did.
std::string chosen_by;

// An environment value or argument on one line: whatever it holds, the
// reason stays a single line.
std::string one_line(const char *value)
{
    std::string out;
    for (const char *p = value; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        out += c < 0x20 || c == 0x7f ? '?' : *p;
    }
    return out;
}

void add_choice(const std::string &name, const char *value)
{
    if (value == nullptr || *value == '\0')
        return;
    if (!chosen_by.empty())
        chosen_by += ", ";
    chosen_by += name + one_line(value);
}

void note_what_chooses_the_display(int argc, char **argv)
{
    chosen_by.clear();
    add_choice("QT_QPA_PLATFORM=", getenv("QT_QPA_PLATFORM"));
    // The toolkit's own option, as it reads it: -platform or --platform
    // and the next argument.
    for (int i = 1; i + 1 < argc; ++i)
        if (strcmp(argv[i], "-platform") == 0 || strcmp(argv[i], "--platform") == 0)
            add_choice(std::string(argv[i]) + " ", argv[i + 1]);
    add_choice("DISPLAY=", getenv("DISPLAY"));
    add_choice("WAYLAND_DISPLAY=", getenv("WAYLAND_DISPLAY"));
}

// The platform plugin that the held messages say could not be found or
// loaded, where none says that a display did not open: the toolkit says
// both ways that it "could not load the Qt platform plugin", the first
// after its plugin's own word ("could not connect to display :0", "Failed
// to create wl_display"), the second alone (a library of its missing). Empty
// where they do not say so.
std::string plugin_not_loaded()
{
    const QMutexLocker<QBasicMutex> guard(&held_lock);
    std::string plugin;
    for (const HeldMessage &m : held) {
        static const QLatin1String load("Could not load the Qt platform plugin \"");
        static const QLatin1String find("Could not find the Qt platform plugin \"");
        const QLatin1String &said = m.text.startsWith(load) ? load : find;
        if (m.text.startsWith(said)) {
            const int end = m.text.indexOf(QLatin1Char('"'), said.size());
            if (end > said.size())
                plugin = m.text.mid(said.size(), end - said.size()).toLocal8Bit().toStdString();
        } else if (m.text.contains(QLatin1String("display"), Qt::CaseInsensitive)) {
            return std::string();
        }
    }
    return plugin;
}

[[noreturn]] void cannot_start()
{
    const std::string plugin = plugin_not_loaded();
    load_translations_without_toolkit();
    char line[1025];
    if (!plugin.empty())
        format_text(line, sizeof line, tx(Text::platform_plugin_failed), one_line(plugin.c_str()).c_str());
    else if (chosen_by.empty())
        format_text(line, sizeof line, "%s", tx(Text::no_display));
    else
        format_text(line, sizeof line, tx(Text::display_failed), chosen_by.c_str());
    // A cut must not take the line's end with it.
    const size_t length = strlen(line);
    if (length > 0 && line[length - 1] != '\n')
        line[length - 1] = '\n';
    fputs(line, stderr);
    fflush(stderr);
    // Not exit(): the application object is half made, and what would run
    // at exit may touch it.
    _exit(EX_CONFIG);
}

void hold(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    // The toolkit's words for "no platform could be started". Any other
    // fatal message goes on as before.
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin")))
        cannot_start();
    {
        const QMutexLocker<QBasicMutex> guard(&held_lock);
        // A thread of the toolkit's may still get here after the release.
        if (holding && type != QtFatalMsg) {
            held.push_back({type, context.file, context.line, context.function, context.category, text});
            return;
        }
    }
    previous(type, context, text);
}

} // namespace

void hold_toolkit_start_messages(int argc, char **argv)
{
    // Where warnings are meant to end the program, holding them back would
    // lose the one that did.
    if (qEnvironmentVariableIsSet("QT_FATAL_WARNINGS") || qEnvironmentVariableIsSet("QT_FATAL_CRITICALS"))
        return;
    note_what_chooses_the_display(argc, argv);
    holding = true;
    previous = qInstallMessageHandler(hold);
}

void release_toolkit_start_messages()
{
    if (previous == nullptr)
        return;
    std::vector<HeldMessage> messages;
    {
        const QMutexLocker<QBasicMutex> guard(&held_lock);
        holding = false;
        messages.swap(held);
    }
    qInstallMessageHandler(previous);
    for (const HeldMessage &m : messages) {
        const QMessageLogContext context(m.file.isNull() ? nullptr : m.file.constData(), m.line,
                                         m.function.isNull() ? nullptr : m.function.constData(),
                                         m.category.isNull() ? nullptr : m.category.constData());
        previous(m.type, context, m.text);
    }
}
