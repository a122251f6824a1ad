#include "app/vorlix_menu.h"

#include "actions/qshell.h"
#include "common/format_text.h"
#include "common/keyboard_buttons.h"
#include "common/message_box.h"
#include "common/texts.h"
#include "common/window_name.h"
#include "platform/disk_devices.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include <stdlib.h>
#include <string.h>

#include <string>

// A button shows its label as it stands. Names come from volume labels and
// device nodes, and an '&' in them would otherwise vanish and turn the
// next letter into a keyboard shortcut (Alt+D on "Unmount /media/R&D").
static QString button_text(const char *label)
{
    return QString::fromUtf8(label).replace('&', QStringLiteral("&&"));
}

VorlixMenu::VorlixMenu(char **argv, QWidget *parent)
    : QWidget(parent)
{
    mount_point = argv[1];
    device = argv[2];
    fs_type = argv[3];

    // The whole disk, as the system knows it: a label or a partition of a
    // Linux disk does not name it.
    const std::string disk = disk_devices(device).node;

    if (strcmp(fs_type, "unknown") == 0) {
        char notice[1025];
        format_text(notice, sizeof notice, tx(Text::unknown_fs_notice), device, disk.c_str());
        message_box(notice);
        exit(0);
    }

    // Labels are cut at 64 bytes to keep the window narrow.
    char reformat_label[65], copy_label[65], unmount_label[65];
    format_text(reformat_label, sizeof reformat_label, tx(Text::reformat_button), disk.c_str());
    format_text(copy_label, sizeof copy_label, tx(Text::copy_button), disk.c_str());
    format_text(unmount_label, sizeof unmount_label, tx(Text::unmount_button), mount_point);

    QPushButton *info_button = new QPushButton(QString::fromUtf8(tx(Text::info_button)), this);
    QPushButton *fm_button = new QPushButton(QString::fromUtf8(tx(Text::fm_button)), this);
    QPushButton *reformat_button = new QPushButton(button_text(reformat_label), this);
    QPushButton *copy_button = new QPushButton(button_text(copy_label), this);
    QPushButton *unmount_button = new QPushButton(button_text(unmount_label), this);

    QShell *shell = new QShell;
    shell->setMount_point(mount_point);
    shell->setDevice(device);
    shell->setFs_type(fs_type);

    connect(info_button, SIGNAL(clicked()), shell, SLOT(info()));
    connect(fm_button, SIGNAL(clicked()), shell, SLOT(fm()));
    connect(reformat_button, SIGNAL(clicked()), shell, SLOT(reformat()));
    connect(copy_button, SIGNAL(clicked()), shell, SLOT(image()));
    connect(unmount_button, SIGNAL(clicked()), shell, SLOT(unmount()));

    QVBoxLayout *layout = new QVBoxLayout;
    layout->addWidget(info_button);
    layout->addWidget(fm_button);
    layout->addWidget(reformat_button);
    layout->addWidget(copy_button);
    layout->addWidget(unmount_button);
    // Its natural size, fixed: tiling window managers float such a window
    // instead of stretching it across half the screen. The layout works the
    // size out from the buttons, so it follows their texts and the font.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setLayout(layout);
    make_buttons_keyboard_ready(this);

    // The title stays empty; a screen reader still says which volume this
    // window is for.
    char name[1025];
    format_text(name, sizeof name, tx(Text::window_name), mount_point);
    set_window_name(this, name);
}

void VorlixMenu::closeEvent(QCloseEvent *event)
{
    message_box(tx(Text::close_refused));
    event->ignore();
}
