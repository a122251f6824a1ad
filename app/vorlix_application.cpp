#include "app/vorlix_application.h"

#include <QTimer>

#include <utility>

namespace {

int in_hand = 0;
std::function<void()> waiting;

} // namespace

VorlixApplication::VorlixApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool VorlixApplication::notify(QObject *receiver, QEvent *event)
{
    ++in_hand;
    const bool handled = QApplication::notify(receiver, event);
    // Posted, not called: it runs as an event of its own, with nothing
    // else in hand, and whatever it handles meanwhile counts as nested.
    if (--in_hand == 0 && waiting)
        QTimer::singleShot(0, this, std::exchange(waiting, nullptr));
    return handled;
}

bool VorlixApplication::action_runs()
{
    return in_hand > 1;
}

void VorlixApplication::once_actions_returned(std::function<void()> then)
{
    if (in_hand == 0)
        QTimer::singleShot(0, QCoreApplication::instance(), std::move(then));
    else
        waiting = std::move(then);
}
