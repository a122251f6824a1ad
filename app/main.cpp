#include "app/vorlix_menu.h"

#include <QApplication>

#include <stdio.h>

int main(int argc, char **argv)
{
    // The toolkit takes its own options (-style and the like) out of argv
    // first, so they may stand anywhere among ours.
    QApplication app(argc, argv);
    if (argc != 4) {
        fprintf(stderr, "Usage: %s /mount/point device fs-type\n", argv[0]);
        return 64;
    }

    VorlixMenu menu(argv);
    menu.show();
    return app.exec();
}
