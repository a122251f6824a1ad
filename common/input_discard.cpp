#include "common/input_discard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QObject>
#include <QTimer>

namespace {

class InputSwallower : public QObject
{
protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (!event->spontaneous())
            return false;
        // A close request made while the window was frozen is dropped like
        // a click: answering it would open a box in the middle of this.
        return event->isInputEvent() || event->type() == QEvent::Close;
    }
};

// How long queued events are drained after the round trip. Input reaches
// the toolkit through a reader thread, so a moment's slack catches events
// that were in flight when the server answered; a user cannot react to the
// window waking up within it.
const int drain_ms = 50;

} // namespace

void discard_pending_input()
{
    if (QCoreApplication::instance() == nullptr)
        return;

    InputSwallower swallower;
    QCoreApplication::instance()->installEventFilter(&swallower);
    // A round trip to the window system, so that all input made before now
    // has arrived and is queued.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
        QGuiApplication::sync();
    QEventLoop drain;
    QTimer::singleShot(drain_ms, &drain, &QEventLoop::quit);
    drain.exec();
    QCoreApplication::instance()->removeEventFilter(&swallower);
}
