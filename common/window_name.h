#ifndef VORLIX_WINDOW_NAME_H
#define VORLIX_WINDOW_NAME_H

class QWidget;

// Our windows have no title. Gives a top-level window the name that
// assistive technology reads for it (UTF-8), and presents it there as a
// window, not as an anonymous filler.
void set_window_name(QWidget *window, const char *name);

#endif
