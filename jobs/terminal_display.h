#ifndef VORLIX_TERMINAL_DISPLAY_H
#define VORLIX_TERMINAL_DISPLAY_H

// The jobs' terminal is an X program. On a Wayland desktop without an X
// server for it (no DISPLAY), it would exit at once, after the volume had
// already been unmounted for it. True in that case, after telling the user;
// then no job may start. Main process only, before anything is unmounted.
bool terminal_display_missing();

#endif
