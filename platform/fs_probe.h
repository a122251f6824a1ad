#ifndef VORLIX_FS_PROBE_H
#define VORLIX_FS_PROBE_H

#include <sys/stat.h>

#include <functional>
#include <string>

// A question to a filesystem (stat, statfs, realpath) blocks whoever asks
// it, for good, once the filesystem has stopped answering: a stick that
// hung, a FUSE daemon that was stopped. Such questions go through here, and
// the program puts them to a child it can give up on (run_query); until it
// says so, and in the tests of the platform layer, they are asked directly.

// Asks question(); false with errno set when it could not be answered in
// time (ETIMEDOUT) or at all.
using ProbeRunner = std::function<bool(const std::function<std::string()> &question, std::string *answer)>;
void set_probe_runner(const ProbeRunner &runner);

bool probe(const std::function<std::string()> &question, std::string *answer);

// stat(2) and realpath(3), put that way: false with errno set as they
// would, or ETIMEDOUT when the filesystem did not answer. A device node of
// the kernel's own device filesystem is asked directly: it answers.
bool probe_stat(const char *path, struct stat *st);
bool probe_realpath(const char *path, std::string *resolved);

#endif
