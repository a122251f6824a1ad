// Test hook, linked only into vorlix-testable. Active when VORLIX_HOOK_LOG
// names a file; it appends one line per event:
//   shown <class>                      a top-level window was shown
//   box, watch, dialog                 modal boxes and dialogs (modal_answerer.h)
//   windows <class> <class> ...        visible top-level windows, oldest first
//   done                               the script ran out; the loop ends with 99
// VORLIX_HOOK_PATH: PATH as the program is to use it. At start vorlix
//   appends /usr/local/bin and /usr/local/sbin to PATH; this puts back a
//   PATH of fake commands alone, so that no real tool can be reached.
// VORLIX_HOOK_OPEN: the file to pick in an open-file dialog (cancel if unset).
// VORLIX_HOOK_WATCH: a file holding a path whose existence is logged with
//   each box (a fake tool writes its marker name there).
// VORLIX_HOOK_WAIT: "<query>,<ask>,<release>" in milliseconds: how long
//   a filesystem has to answer, a companion runs before the user is asked
//   whether to keep waiting, and the system has to let go of a device.
// VORLIX_HOOK_HOLD: a file; while none stands there, boxes without a
//   question stay open (and are logged once answered).
// VORLIX_HOOK_ANSWERS: answers to boxes that ask a question (two buttons),
//   '|'-separated, one per box: the text of the button to press, or
//   "wait" to leave the box alone until it goes by itself (see
//   modal_answerer.h). Without one left, the first button is pressed.
// VORLIX_HOOK_SCRIPT: steps separated by '|', run one at a time while no
//   modal is open:
//   click:<text>    press the visible button showing that text (newest window first)
//   close:<class>   ask the oldest visible window of that class to close
//   windows         log the visible top-level windows
//   buttons         log, for each visible top-level window, its class and
//                   the texts of its visible buttons:
//                   "buttons <class>: <text>|<text>|..."
//   names           log, for each visible top-level window, the name that
//                   assistive technology reads: "name <class>: <name>"
//   toolkit         log the layout direction and the text of a message
//                   box's OK button: "toolkit ltr|rtl <text>"
//   await:<path>    wait until a file exists at path (input from outside)
#include "common/wait_limits.h"
#include "testhook/log_escape.h"
#include "testhook/modal_answerer.h"

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace {

class ModalHook : public QObject
{
public:
    explicit ModalHook(const QString &log_path)
        : log(log_path), answerer([this](const QByteArray &line) { write(line); })
    {
        log.open(QIODevice::Append | QIODevice::Unbuffered);
        steps = qEnvironmentVariable("VORLIX_HOOK_SCRIPT").split('|', Qt::SkipEmptyParts);
        has_script = qEnvironmentVariableIsSet("VORLIX_HOOK_SCRIPT");
        qApp->installEventFilter(this);

        answerer.set_pick(qEnvironmentVariable("VORLIX_HOOK_OPEN"));
        answerer.set_answers(qEnvironmentVariable("VORLIX_HOOK_ANSWERS").split('|', Qt::SkipEmptyParts));
        answerer.set_watch_file(qEnvironmentVariable("VORLIX_HOOK_WATCH"));
        answerer.set_hold_file(qEnvironmentVariable("VORLIX_HOOK_HOLD"));

        // The answerer has a timer of its own: a step may open a modal box,
        // and a timer does not fire again inside its own handler.
        connect(&step_timer, &QTimer::timeout, this, &ModalHook::run_step);
        step_timer.start(60);
    }

protected:
    bool eventFilter(QObject *obj, QEvent *event) override
    {
        if (event->type() == QEvent::Show && obj->isWidgetType()) {
            QWidget *w = static_cast<QWidget *>(obj);
            if (w->isWindow()) {
                write("shown " + QByteArray(w->metaObject()->className()));
                if (!windows.contains(w))
                    windows.append(w);
            }
        }
        return false;
    }

private:
    void write(const QByteArray &line)
    {
        log.write(line + '\n');
    }

    QList<QWidget *> visible_windows()
    {
        QList<QWidget *> out;
        for (const QPointer<QWidget> &w : windows)
            if (w && w->isVisible())
                out.append(w);
        return out;
    }

    void run_step()
    {
        if (!has_script || QApplication::activeModalWidget() != nullptr || busy)
            return;
        if (steps.isEmpty()) {
            write("done");
            step_timer.stop();
            QCoreApplication::exit(99);
            return;
        }
        if (steps.first().startsWith("await:") && !QFile::exists(steps.first().mid(6)))
            return;
        busy = true;
        const QString step = steps.takeFirst();
        const QList<QWidget *> shown = visible_windows();
        if (step.startsWith("click:")) {
            const QString text = step.mid(6);
            QPushButton *target = nullptr;
            for (int i = shown.size() - 1; i >= 0 && target == nullptr; --i)
                for (QPushButton *b : shown[i]->findChildren<QPushButton *>())
                    if (b->isVisible() && QString(b->text()).replace("&&", "&") == text) {
                        target = b;
                        break;
                    }
            if (target == nullptr)
                write("no button " + log_escape(text.toUtf8()));
            else
                target->click(); // may not return: some actions end the process
        } else if (step.startsWith("close:")) {
            const QByteArray cls = step.mid(6).toUtf8();
            for (QWidget *w : shown)
                if (cls == w->metaObject()->className()) {
                    w->close();
                    break;
                }
        } else if (step == "buttons") {
            for (QWidget *w : shown) {
                QStringList texts;
                for (QPushButton *b : w->findChildren<QPushButton *>())
                    if (b->isVisible())
                        texts.append(b->text());
                write("buttons " + QByteArray(w->metaObject()->className()) + ": "
                      + log_escape(texts.join('|').toUtf8()));
            }
        } else if (step == "names") {
            for (QWidget *w : shown) {
                QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
                write("name " + QByteArray(w->metaObject()->className()) + ": "
                      + log_escape((a ? a->text(QAccessible::Name) : QString()).toUtf8()));
            }
        } else if (step == "toolkit") {
            QMessageBox box;
            box.setStandardButtons(QMessageBox::Ok);
            write(QByteArray("toolkit ") + (QGuiApplication::isRightToLeft() ? "rtl " : "ltr ")
                  + log_escape(box.button(QMessageBox::Ok)->text().toUtf8()));
        } else if (step == "windows") {
            QByteArray line = "windows";
            for (QWidget *w : shown)
                line += ' ' + QByteArray(w->metaObject()->className());
            write(line);
        }
        busy = false;
    }

    QFile log;
    QStringList steps;
    bool has_script = false;
    bool busy = false;
    QList<QPointer<QWidget>> windows; // dialogs die after use: guarded
    ModalAnswerer answerer;
    QTimer step_timer;
};

void install_hook()
{
    // Runs as the application object is made: before anything is forked.
    if (qEnvironmentVariableIsSet("VORLIX_HOOK_PATH"))
        qputenv("PATH", qgetenv("VORLIX_HOOK_PATH"));
    const QStringList wait = qEnvironmentVariable("VORLIX_HOOK_WAIT").split(',');
    if (wait.size() == 3) {
        wait_limits().query_ms = wait[0].toInt();
        wait_limits().ask_ms = wait[1].toInt();
        wait_limits().release_ms = wait[2].toInt();
    }
    const QString log_path = qEnvironmentVariable("VORLIX_HOOK_LOG");
    if (!log_path.isEmpty())
        new ModalHook(log_path);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install_hook)
