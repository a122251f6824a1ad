#include "common/keyboard_buttons.h"

#include <QEvent>
#include <QFocusEvent>
#include <QObject>
#include <QPushButton>
#include <QWidget>

namespace {

// The toolkit draws the focus frame only while the window is marked as
// focused from the keyboard, which it clears whenever focus moves for any
// other reason: the window showing or coming back after a message box. A
// keyboard user then cannot see what Return would press. Only a click with
// the mouse hides the frame, as everywhere else.
class FocusFrameKeeper : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn && watched->isWidgetType()
            && static_cast<QFocusEvent *>(event)->reason() != Qt::MouseFocusReason)
            static_cast<QWidget *>(watched)->window()->setAttribute(Qt::WA_KeyboardFocusChange);
        return false;
    }
};

} // namespace

void make_buttons_keyboard_ready(QWidget *window)
{
    auto *keeper = new FocusFrameKeeper(window);
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        // Outside a dialog a push button takes Return and Enter only when
        // it is an auto-default one.
        button->setAutoDefault(true);
        button->installEventFilter(keeper);
    }
}
