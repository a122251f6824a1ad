#ifndef VORLIX_BUSY_CURSOR_H
#define VORLIX_BUSY_CURSOR_H

// While the main process blocks waiting for a child, its windows neither
// repaint nor take input. The busy cursor over them says so.

// Shows the busy cursor on every window and hands it to the display server
// at once: nothing else would, as the process blocks next. Main process
// only; without a GUI application it does nothing.
void show_busy_cursor();

// Back to the usual cursor.
void end_busy_cursor();

#endif
