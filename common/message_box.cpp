#include "common/message_box.h"

#include "common/relay.h"

#include <QMessageBox>
#include <QString>

void message_box(const char *text)
{
    // A forked copy of the GUI process must never touch the toolkit: on a
    // real display it blocks for good on a lock the parent held at fork.
    if (relay_send_message(text))
        return;

    QMessageBox box;
    // Names shown here come from volume labels that whoever handed the user
    // the stick controls; rich-text detection would honour their markup and
    // drop our line breaks. Every message of ours is plain text.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(text ? text : ""));
    box.exec();
}
