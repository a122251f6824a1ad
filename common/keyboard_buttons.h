#ifndef VORLIX_KEYBOARD_BUTTONS_H
#define VORLIX_KEYBOARD_BUTTONS_H

class QWidget;

// Makes a window of push buttons usable from the keyboard alone: Return and
// keypad Enter press the focused button, as Space does, and the focused
// button shows its focus frame from the start, not only after the first
// Tab. Call once its buttons exist.
void make_buttons_keyboard_ready(QWidget *window);

#endif
