// Test hook, linked only into vorlix-testable. Active when VORLIX_HOOK_LOG
// names a file; it appends one line per event:
//   shown <class>                      a top-level window was shown
//   box <text>                         a message box, answered with its button
//   watch <path> exists|missing        with each box, if VORLIX_HOOK_WATCH is set
//   dialog <caption>|<dir>|<filters>   an open-file dialog
//   windows <class> <class> ...        visible top-level windows, oldest first
//   done                               the script ran out; the loop ends with 99
// VORLIX_HOOK_OPEN: the file to pick in an open-file dialog (cancel if unset).
// VORLIX_HOOK_WATCH: a file holding a path whose existence is logged with
//   each box (a fake tool writes its marker name there).
// VORLIX_HOOK_SCRIPT: steps separated by '|', run one at a time while no
//   modal is open:
//   click:<text>    press the visible button with that text (newest window first)
//   close:<class>   ask the oldest visible window of that class to close
//   windows         log the visible top-level windows
#include "testhook/log_escape.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <stdlib.h>

namespace {

class ModalHook : public QObject
{
public:
    explicit ModalHook(const QString &log_path)
        : log(log_path)
    {
        log.open(QIODevice::Append | QIODevice::Unbuffered);
        steps = qEnvironmentVariable("VORLIX_HOOK_SCRIPT").split('|', Qt::SkipEmptyParts);
        has_script = qEnvironmentVariableIsSet("VORLIX_HOOK_SCRIPT");
        qApp->installEventFilter(this);

        // Two timers: a step may open a modal box, whose nested loop must
        // still see the answering timer fire.
        connect(&answer_timer, &QTimer::timeout, this, &ModalHook::answer_modal);
        connect(&step_timer, &QTimer::timeout, this, &ModalHook::run_step);
        answer_timer.start(30);
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

    void answer_modal()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            write("box " + log_escape(box->text().toUtf8()));
            log_watch();
            QList<QAbstractButton *> buttons = box->buttons();
            if (!buttons.isEmpty())
                buttons.first()->click();
            else
                box->done(0);
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            write("dialog " + log_escape((dialog->windowTitle() + '|' + dialog->directory().absolutePath()
                                          + '|' + dialog->nameFilters().join(";;"))
                                             .toUtf8()));
            const QString pick = qEnvironmentVariable("VORLIX_HOOK_OPEN");
            if (pick.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(pick);
                static_cast<QDialog *>(dialog)->accept(); // checks the pick like a user's
            }
        }
    }

    void log_watch()
    {
        QFile watch(qEnvironmentVariable("VORLIX_HOOK_WATCH"));
        if (watch.fileName().isEmpty() || !watch.open(QIODevice::ReadOnly))
            return;
        const QByteArray path = watch.readAll().trimmed();
        write("watch " + path + (QFile::exists(QString::fromLocal8Bit(path)) ? " exists" : " missing"));
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
        busy = true;
        const QString step = steps.takeFirst();
        const QList<QWidget *> shown = visible_windows();
        if (step.startsWith("click:")) {
            const QString text = step.mid(6);
            QPushButton *target = nullptr;
            for (int i = shown.size() - 1; i >= 0 && target == nullptr; --i)
                for (QPushButton *b : shown[i]->findChildren<QPushButton *>())
                    if (b->isVisible() && b->text() == text) {
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
    QTimer answer_timer;
    QTimer step_timer;
};

void install_hook()
{
    const QString log_path = qEnvironmentVariable("VORLIX_HOOK_LOG");
    if (!log_path.isEmpty())
        new ModalHook(log_path);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install_hook)
