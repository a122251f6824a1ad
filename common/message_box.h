#ifndef VORLIX_MESSAGE_BOX_H
#define VORLIX_MESSAGE_BOX_H

#include <functional>

// Shows text (UTF-8, may be null) in a modal box and returns once the user
// has dismissed it. Called in a forked child, it hands the text to the
// parent instead, which shows it after the child has ended.
void message_box(const char *text);

// Main process only: asks text (UTF-8) in a modal box with two answers,
// the first of them the default. Returns 0 or 1 for the answer given, or
// -1 when gone() turned true first (it is asked ten times a second), which
// closes the box by itself: the question no longer stands.
int question_box(const char *text, const char *first, const char *second, const std::function<bool()> &gone);

#endif
