#include "app/toolkit_start.h"
#include "app/translations.h"
#include "app/volume_end.h"
#include "app/vorlix_application.h"
#include "app/vorlix_menu.h"
#include "common/child_exits.h"
#include "common/child_runner.h"
#include "common/inherited_state.h"
#include "common/termination.h"
#include "common/texts.h"
#include "common/wait_limits.h"
#include "jobs/window_disk.h"
#include "platform/fs_probe.h"

#include <QTimer>

#include <stdio.h>

int main(int argc, char **argv)
{
    // Before the toolkit opens anything: its descriptors must not land on
    // 0, 1 or 2, and waiting for our children must work.
    take_over_inherited_state();
    // Waits with an end, and no child or marker left behind when vorlix
    // itself is ended.
    watch_child_exits();
    end_cleanly_on_termination();
    set_probe_runner([](const std::function<std::string()> &question, std::string *answer) {
        return run_query(question, wait_limits().query_ms, answer);
    });

    // The toolkit takes its own options (-style and the like) out of argv
    // first, so they may stand anywhere among ours. Without a display it
    // ends here, with one line and EX_CONFIG.
    hold_toolkit_start_messages(argc, argv);
    VorlixApplication app(argc, argv);
    release_toolkit_start_messages();
    load_translations(&app);
    if (argc != 4) {
        fprintf(stderr, tx(Text::usage), argv[0]);
        return 64;
    }

    VorlixMenu menu(argv);
    menu.show();
    // What the window stands for, as it is when it opens: the disk a job
    // may write, and the volume whose end ends it. Asked once the window
    // is on its way to the screen, each question in a child, before any
    // press is handled; a press that came first would find no disk taken,
    // and refuse.
    QTimer::singleShot(0, &menu, [device = argv[2]] {
        take_window_disk(device);
        end_with_volume(device);
    });
    return app.exec();
}
