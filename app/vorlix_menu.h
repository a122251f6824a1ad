#ifndef VORLIX_VORLIX_MENU_H
#define VORLIX_VORLIX_MENU_H

#include <QWidget>

class QCloseEvent;

// The main window: five buttons acting on one volume. It refuses to close;
// the user leaves by unmounting. For a volume without a recognised
// filesystem it explains how to reformat it and ends the process instead.
class VorlixMenu : public QWidget
{
    Q_OBJECT

public:
    // argv holds the program name, then mount point, device and fs type.
    explicit VorlixMenu(char **argv, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    char *mount_point;
    char *device;
    char *fs_type;
};

#endif
