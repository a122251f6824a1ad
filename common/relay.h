#ifndef VORLIX_RELAY_H
#define VORLIX_RELAY_H

#include <string>
#include <vector>

// The channel from a forked child to the process that started it. A forked
// copy of the GUI process must never touch the toolkit, so what it has to
// tell goes down a pipe and its parent passes it on once it has ended.

// In a freshly forked child: everything sent from now on goes to fd.
void relay_attach(int fd);

// True in a process started by run_child, which must not draw.
bool relay_active();

// In a child: sends a message for the user and returns true. In the main
// process it does nothing and returns false.
bool relay_send_message(const char *text);

// In a child: tells the parent that the command could not be started, and
// why (an errno value).
void relay_send_exec_error(int err);

// In a child: the answer to a question its parent asked (run_query), any
// bytes.
void relay_send_answer(const std::string &answer);

// What a child sent, in order.
struct RelayReport {
    std::vector<std::string> messages;
    int exec_errno = 0; // non-zero: the command could not be started
    bool answered = false;
    std::string answer;
};

// Takes apart what was read from the pipe. A record cut short (the child
// died mid-write) still counts.
RelayReport relay_decode(const std::string &bytes);

#endif
