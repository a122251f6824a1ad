#ifndef VORLIX_TOOLKIT_START_H
#define VORLIX_TOOLKIT_START_H

// Around the making of the application object, which is when the toolkit
// opens the display. When it can open none (no graphical session, a server
// that is gone, a platform that does not exist), the toolkit prints a page
// of advice and aborts, which dumps core. Between these two calls its
// messages are held back instead: on that failure one line on standard
// error says why (the display that did not open, or the platform plugin
// that is missing or did not load), and the process ends with EX_CONFIG
// (78). Once it is up, the messages held are passed on as they came.
void hold_toolkit_start_messages(int argc, char **argv);
void release_toolkit_start_messages();

#endif
