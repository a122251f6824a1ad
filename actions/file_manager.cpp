#include "actions/file_manager.h"

#include "actions/qshell.h"
#include "common/child_runner.h"
#include "common/format_text.h"
#include "common/message_box.h"
#include "common/texts.h"

#include <merrow.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

// In order of preference. Each slot holds a name of at most 19 bytes.
static const char file_managers[][20] = {
    "pcmanfm-qt", "pcmanfm", "qtfm", "4pane", "caja", "dolphin",
    "lumina-fm", "konqueror", "krusader", "nautilus", "nemo", "thunar", "",
};

FmChoice choose_file_manager(const char *candidate_prefix, char *buf, size_t size,
                             const char **command)
{
    *command = getenv("VORLIX_FM");
    if (*command != nullptr)
        return FM_COMMAND;

    char home[1025];
    if (mw_get_home_dir(home, sizeof home) == nullptr)
        return FM_NO_HOME;

    char path[1025];
    snprintf(path, sizeof path, "%s/.config/vorlix", home);
    if (FILE *config = fopen(path, "r")) {
        char line[1024];
        FmChoice choice = FM_NONE;
        if (fgets(line, sizeof line, config) != nullptr) {
            line[strcspn(line, "\n")] = '\0';
            snprintf(buf, size, "%s", line);
            *command = buf;
            choice = FM_COMMAND;
        } else {
            // An empty file (or a directory, which opens but reads nothing)
            // is a choice of no file manager, so the candidates stay unused.
            message_box(tx(Text::empty_config));
        }
        fclose(config);
        return choice;
    }

    // The candidate found is run by the path tested, not by name: PATH may
    // lack that folder (a hook started from devd or rc), or name another
    // program of the same name first.
    for (size_t i = 0; file_managers[i][0] != '\0'; ++i) {
        struct stat st;
        snprintf(path, sizeof path, "%s/bin/%s", candidate_prefix, file_managers[i]);
        if (stat(path, &st) == 0) {
            snprintf(buf, size, "%s", path);
            *command = buf;
            return FM_COMMAND;
        }
    }
    return FM_NONE;
}

static void report_fm_error(bool ran, const char *command, const ChildStatus &status)
{
    char why[1025];
    describe_failed_run(why, sizeof why, ran, command, status);
    char msg[1025];
    format_text(msg, sizeof msg, tx(Text::fm_error), why);
    message_box(msg);
}

int QShell::fm()
{
    char buf[1025];
    const char *command = nullptr;
    switch (choose_file_manager("/usr/local", buf, sizeof buf, &command)) {
    case FM_NO_HOME:
        message_box(tx(Text::no_home));
        exit(70);
    case FM_NONE:
        errno = ENOENT; // nothing to run: no such program
        report_fm_error(false, nullptr, ChildStatus());
        return -1;
    case FM_COMMAND:
        break;
    }

    // A name (from VORLIX_FM or the configuration) goes through the PATH
    // search; a candidate comes as its path.
    const std::string dir = as_operand(mount_point);
    const char *const argv[] = {command, dir.c_str(), nullptr};
    ChildStatus status;
    if (!run_command(argv, &status)) {
        report_fm_error(false, command, status); // no child ran, so there is no run status to return
        return -1;
    }
    if (status.wait_status == 0)
        return 0;
    report_fm_error(true, command, status);
    return status.wait_status;
}
