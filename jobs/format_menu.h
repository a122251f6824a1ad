#ifndef VORLIX_FORMAT_MENU_H
#define VORLIX_FORMAT_MENU_H

#include <QWidget>

class QKeyEvent;

// A small window with one button per filesystem that can be made on the
// volume's whole disk. Each button unmounts the volume and runs the
// formatting tool in a terminal. Not modal: it can be closed normally, and
// Escape closes it.
class QFormatMenu : public QWidget
{
    Q_OBJECT

public:
    explicit QFormatMenu(const char *mount_point = nullptr, const char *device = nullptr,
                         QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void exfat();
    void ufs2();
    void ext4();

private:
    void format_device(const char *type);

    const char *mount_point;
    const char *device;
};

#endif
