#include "jobs/format_menu.h"

#include "actions/qshell.h"
#include "common/format_text.h"
#include "common/keyboard_buttons.h"
#include "common/texts.h"
#include "common/window_name.h"
#include "jobs/terminal_job.h"
#include "platform/disk_devices.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include <string>

QFormatMenu::QFormatMenu(const char *mount_point, const char *device, QWidget *parent)
    : QWidget(parent)
{
    QPushButton *exfat_button = new QPushButton(QString::fromUtf8(tx(Text::exfat_button)), this);
    QPushButton *ufs2_button = new QPushButton(QString::fromUtf8(tx(Text::ufs2_button)), this);
    QPushButton *ext4_button = new QPushButton(QString::fromUtf8(tx(Text::ext4_button)), this);

    this->mount_point = mount_point;
    this->device = device;

    connect(exfat_button, SIGNAL(clicked()), this, SLOT(exfat()));
    connect(ufs2_button, SIGNAL(clicked()), this, SLOT(ufs2()));
    connect(ext4_button, SIGNAL(clicked()), this, SLOT(ext4()));

    QVBoxLayout *layout = new QVBoxLayout;
    layout->addWidget(exfat_button);
    layout->addWidget(ufs2_button);
    layout->addWidget(ext4_button);
    // Its natural size, fixed, as the main window's (vorlix_menu.cpp).
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setLayout(layout);
    make_buttons_keyboard_ready(this);

    // Its buttons do not say which disk they erase; the window's name does,
    // for a screen reader, in the words of the main window's button.
    const std::string disk = device != nullptr ? disk_devices(device).node : std::string();
    char name[1025];
    format_text(name, sizeof name, tx(Text::reformat_button), disk.c_str());
    set_window_name(this, name);
}

void QFormatMenu::keyPressEvent(QKeyEvent *event)
{
    // Escape leaves without formatting anything, window manager or not.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QFormatMenu::exfat()
{
    format_device("exfat");
}

void QFormatMenu::ufs2()
{
    format_device("ufs2");
}

void QFormatMenu::ext4()
{
    format_device("ext4");
}

void QFormatMenu::format_device(const char *type)
{
    const char *const tool_args[] = {terminal_job_disk, type, nullptr};
    const TerminalJob job = {
        "draskel",
        "--temp-file",
        tool_args,
        tx(Text::format_complete),
        tx(Text::format_failed),
        nullptr,
    };
    run_terminal_job(mount_point, device, job);
}

int QShell::reformat()
{
    // A new top-level window on every press; it lives as long as the process.
    QFormatMenu *menu = new QFormatMenu(mount_point, device);
    menu->show();
    return 0;
}
