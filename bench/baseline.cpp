// Start-up baseline: the least a Qt Widgets program with vorlix's window can
// do. Five push buttons in a vertical layout, no other work. It takes the
// same three arguments as vorlix (mount point, device, filesystem type) so
// that run-bench.sh starts both the same way; only the mount point is used,
// in the last label, so the two windows come out the same size.
#include <QApplication>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString mountPoint = args.value(1, QStringLiteral("/media/da0s1"));

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    const QString labels[] = {
        QStringLiteral("Filesystem info"),
        QStringLiteral("Open file manager"),
        QStringLiteral("Reformat /dev/da0"),
        QStringLiteral("Copy disk image to /dev/da0"),
        QStringLiteral("Unmount %1").arg(mountPoint),
    };
    for (const QString &label : labels)
        layout->addWidget(new QPushButton(label, &window));
    window.show();
    return app.exec();
}
