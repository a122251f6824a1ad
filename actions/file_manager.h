#ifndef VORLIX_FILE_MANAGER_H
#define VORLIX_FILE_MANAGER_H

#include <stddef.h>

enum FmChoice {
    FM_COMMAND, // *command names the file manager to run
    FM_NONE,    // nothing to run (the user was told if the config is empty)
    FM_NO_HOME, // the home directory lookup failed
};

// Picks the file manager: $VORLIX_FM (even when empty), else the first line
// of ~/.config/vorlix, else the first candidate installed as
// <candidate_prefix>/bin/<name>, given as that path. The command may be
// kept in buf.
FmChoice choose_file_manager(const char *candidate_prefix, char *buf, size_t size,
                             const char **command);

#endif
