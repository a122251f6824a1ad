#include "common/message_box.h"

#include "common/relay.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTimer>

namespace {

// Names shown here come from volume labels that whoever handed the user
// the stick controls; rich-text detection would honour their markup and
// drop our line breaks. Every message of ours is plain text.
void set_plain_text(QMessageBox *box, const char *text)
{
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromUtf8(text ? text : ""));
}

} // namespace

void message_box(const char *text)
{
    // A forked copy of the GUI process must never touch the toolkit: on a
    // real display it blocks for good on a lock the parent held at fork.
    if (relay_send_message(text))
        return;

    QMessageBox box;
    set_plain_text(&box, text);
    box.exec();
}

int question_box(const char *text, const char *first, const char *second, const std::function<bool()> &gone)
{
    QMessageBox box;
    set_plain_text(&box, text);
    QPushButton *first_button = box.addButton(QString::fromUtf8(first), QMessageBox::AcceptRole);
    QPushButton *second_button = box.addButton(QString::fromUtf8(second), QMessageBox::RejectRole);
    box.setDefaultButton(first_button);
    box.setEscapeButton(first_button);

    bool went = false;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &box, [&] {
        if (!went && gone()) {
            went = true;
            box.done(-1);
        }
    });
    check.start(100);
    box.exec();
    if (went)
        return -1;
    return box.clickedButton() == second_button ? 1 : 0;
}
