#include "testhook/modal_answerer.h"

#include "testhook/log_escape.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

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
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
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
