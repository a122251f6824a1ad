#ifndef VORLIX_INPUT_DISCARD_H
#define VORLIX_INPUT_DISCARD_H

// While the main process is blocked waiting for a child, the window system
// keeps queueing what the user does to its windows. Acting on that later
// would unmount, format or dismiss a box on a click made while nothing
// responded. Drops the mouse, key, wheel and touch input (and close
// requests) queued so far; everything else is handled as usual. Main
// process only: it runs the toolkit's event loop.
void discard_pending_input();

#endif
