#ifndef VORLIX_BOUNDED_QUERY_H
#define VORLIX_BOUNDED_QUERY_H

#include <functional>
#include <string>

// A question that may block for good (a filesystem that stopped answering,
// a FUSE daemon that was stopped, the kernel's list of a process's open
// files while one of them belongs to such a filesystem), asked in a forked
// child that is killed when it has not answered within limit_ms. For the
// programs without the toolkit, such as the session agent; vorlix's own
// runner (common/child_runner.h) does the same while keeping its windows
// alive.
//
// question() runs in the child and must only compute its answer: it may
// not touch anything the parent shares with other threads. True with
// *answer set to what it returned; false with errno ETIMEDOUT when no
// answer came in time, EIO when the child ended without one, or the
// reason no child could be made. A child killed but not yet ended (stuck
// in the kernel) is left to end in its own time and reaped later
// (common/child_exits.h).
bool bounded_query(const std::function<std::string()> &question, int limit_ms, std::string *answer);

#endif
