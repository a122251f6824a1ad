#include "common/window_name.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QString>
#include <QVariant>
#include <QWidget>

namespace {

const char named_window[] = "vorlix_named_window";

QAccessibleInterface *window_role(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (widget == nullptr || !widget->isWindow() || !widget->property(named_window).toBool())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

} // namespace

void set_window_name(QWidget *window, const char *name)
{
    static bool factory_installed = false;
    if (!factory_installed) {
        QAccessible::installFactory(window_role);
        factory_installed = true;
    }
    window->setProperty(named_window, true);
    window->setAccessibleName(QString::fromUtf8(name));
}
