#include "common/busy_cursor.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>

static bool have_windows()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

void show_busy_cursor()
{
    if (!have_windows())
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // Some window systems send their requests only while the event loop
    // runs (Wayland), others when asked to (X11): one pass of the loop, with
    // input left queued for the discard after the wait, then a round trip.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QGuiApplication::sync();
}

void end_busy_cursor()
{
    if (have_windows())
        QGuiApplication::restoreOverrideCursor();
}
