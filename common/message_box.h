#ifndef VORLIX_MESSAGE_BOX_H
#define VORLIX_MESSAGE_BOX_H

// Shows text (UTF-8, may be null) in a modal box and returns once the user
// has dismissed it. Called in a forked child, it hands the text to the
// parent instead, which shows it after the child has ended.
void message_box(const char *text);

#endif
