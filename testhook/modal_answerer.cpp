#include "testhook/modal_answerer.h"

#include "testhook/log_escape.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

ModalAnswerer::ModalAnswerer(Sink sink, QObject *parent)
    : QObject(parent), sink(std::move(sink))
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::answer);
    timer.start(30);
}

void ModalAnswerer::answer()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
        return;
    if (modal == waiting)
        return;
    if (auto *box = qobject_cast<QMessageBox *>(modal); box != nullptr && box->buttons().size() > 1) {
        sink("ask " + log_escape(box->text().toUtf8()));
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer == "wait") {
            waiting = box;
            connect(box, &QDialog::finished, this, [this](int result) {
                if (result == -1)
                    sink("answer went");
            });
            return;
        }
        for (QAbstractButton *b : box->buttons())
            if (answer.isEmpty() ? b == static_cast<QAbstractButton *>(box->defaultButton()) : b->text() == answer) {
                sink("answer " + log_escape(b->text().toUtf8()));
                b->click();
                return;
            }
        sink("answer none fits " + log_escape(answer.toUtf8()));
        box->defaultButton()->click();
    } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (!hold_file.isEmpty() && !QFile::exists(hold_file))
            return;
        sink("box " + log_escape(box->text().toUtf8()));
        report_watch();
        const QList<QAbstractButton *> buttons = box->buttons();
        if (!buttons.isEmpty())
            buttons.first()->click();
        else
            box->done(0);
    } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        const QString seen = dialog->windowTitle() + '|' + dialog->directory().absolutePath() + '|'
                             + dialog->nameFilters().join(";;");
        sink("dialog " + log_escape(seen.toUtf8()));
        if (pick.isEmpty()) {
            dialog->reject();
        } else {
            // Typed into the name field, as a user would; the dialog checks it.
            if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
                name->setText(pick);
            static_cast<QDialog *>(dialog)->accept();
        }
    }
}

void ModalAnswerer::report_watch()
{
    QFile watch(watch_file);
    if (watch_file.isEmpty() || !watch.open(QIODevice::ReadOnly))
        return;
    const QByteArray path = watch.readAll().trimmed();
    sink("watch " + path + (QFile::exists(QString::fromLocal8Bit(path)) ? " exists" : " missing"));
}
