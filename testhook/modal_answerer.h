#ifndef VORLIX_MODAL_ANSWERER_H
#define VORLIX_MODAL_ANSWERER_H

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QTimer>

#include <functional>

// Answers whatever modal box or open-file dialog is active, the way a user
// would, and reports a one-line entry for each (see log_escape.h):
//   box <text>
//   ask <text>                    a box with a question (two buttons)
//   answer <button>|went          the button pressed, or the box went by itself
//   watch <path> exists|missing   with each box, when a watch file is set
//   dialog <caption>|<dir>|<filters>
class ModalAnswerer : public QObject
{
public:
    using Sink = std::function<void(const QByteArray &line)>;

    explicit ModalAnswerer(Sink sink, QObject *parent = nullptr);

    // The file to pick in an open-file dialog; empty cancels it.
    void set_pick(const QString &path) { pick = path; }
    // A file holding a path whose existence is reported with each box.
    void set_watch_file(const QString &path) { watch_file = path; }
    // The answers to questions, in order: a button's text, or "wait".
    void set_answers(const QStringList &given) { answers = given; }
    // A file whose absence leaves every box without a question open: as a
    // user who has not read it yet. Empty: boxes are answered at once.
    void set_hold_file(const QString &path) { hold_file = path; }

private:
    void answer();
    void report_watch();

    Sink sink;
    QString pick;
    QString watch_file;
    QString hold_file;
    QStringList answers;
    QPointer<QWidget> waiting; // a question left to go by itself
    QTimer timer;
};

#endif
