#include "app/translations.h"
#include "app/vorlix_menu.h"
#include "common/inherited_state.h"
#include "common/texts.h"

#include <QApplication>

#include <stdio.h>

int main(int argc, char **argv)
{
    // Before the toolkit opens anything: its descriptors must not land on
    // 0, 1 or 2, and waiting for our children must work.
    take_over_inherited_state();

    // The toolkit takes its own options (-style and the like) out of argv
    // first, so they may stand anywhere among ours.
    QApplication app(argc, argv);
    load_translations(&app);
    if (argc != 4) {
        fprintf(stderr, tx(Text::usage), argv[0]);
        return 64;
    }

    VorlixMenu menu(argv);
    menu.show();
    return app.exec();
}
