#ifndef VORLIX_INHERITED_STATE_H
#define VORLIX_INHERITED_STATE_H

// Whatever starts vorlix (an automounter, a shell, nohup) may hand it odd
// process state through exec. These put right what the program and the
// commands it runs depend on.

// At start, before the toolkit: opens /dev/null on each of descriptors 0, 1
// and 2 that is closed, so that no later descriptor takes their place, and
// restores the default action for SIGCHLD and unblocks it, so that waiting
// for a child works. Other ignored signals stay ignored. Completes PATH
// with the packages' folders (complete_search_path, search_path.h).
void take_over_inherited_state();

// In a forked child, before it runs anything: default actions for every
// signal and an empty signal mask, so that a command can be interrupted and
// can wait for its own children whatever vorlix inherited.
void reset_signals_for_child();

#endif
