#include "actions/qshell.h"

// The slots themselves live beside the actions they run: unmount.cpp,
// fs_info.cpp, file_manager.cpp, and under jobs/ image_copy.cpp and
// format_menu.cpp.

QShell::QShell() = default;

void QShell::setMount_point(char *new_mount_point)
{
    mount_point = new_mount_point;
}

void QShell::setDevice(char *new_device)
{
    device = new_device;
}

void QShell::setFs_type(char *new_fs_type)
{
    fs_type = new_fs_type;
}
