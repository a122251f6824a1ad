#ifndef VORLIX_QSHELL_H
#define VORLIX_QSHELL_H

#include <QObject>

// Receives the main window's button presses and runs the action behind each
// one on the volume. The three strings are the process's arguments,
// borrowed for the life of the process.
class QShell : public QObject
{
    Q_OBJECT

public:
    QShell();

public slots:
    int fm();
    int reformat();
    void info();
    void setMount_point(char *new_mount_point);
    void setDevice(char *new_device);
    void setFs_type(char *new_fs_type);
    int image();
    void unmount();

private:
    char *mount_point = nullptr;
    char *device = nullptr;
    char *fs_type = nullptr;
};

#endif
