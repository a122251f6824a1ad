#ifndef VORLIX_VORLIX_APPLICATION_H
#define VORLIX_VORLIX_APPLICATION_H

#include <QApplication>

#include <functional>

// The toolkit's application object, which also counts the events being
// handled. An action runs inside the handling of the event that started
// it (a click, a key), and so does everything it opens: a message box,
// the file dialog, the wait for a companion with its question box. So
// while more events are in hand than the one a caller handles itself, an
// action runs.
class VorlixApplication : public QApplication
{
public:
    VorlixApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // For a caller handling an event: whether an action runs around it.
    static bool action_runs();
    // Has then() called from the event loop once no event is in hand any
    // more: the action that runs now has returned. One request at a time;
    // a later one takes the place of an earlier.
    static void once_actions_returned(std::function<void()> then);
};

#endif
