#ifndef VORLIX_SEARCH_PATH_H
#define VORLIX_SEARCH_PATH_H

#include <string>

// Where the packages' programs live (ports on FreeBSD): the terminal, the
// mount helper and the file managers are found there.
#define VORLIX_LOCAL_BIN "/usr/local/bin"
#define VORLIX_LOCAL_SBIN "/usr/local/sbin"

// path (a PATH value, or null for none) with VORLIX_LOCAL_BIN and then
// VORLIX_LOCAL_SBIN appended where it lacks them. The given directories
// keep their order and come first, empty entries included. With no PATH at
// all, the system's default search path stands in for it.
std::string search_path_with_local_dirs(const char *path);

// At start: sets PATH to that, so that vorlix's own search for a command
// and every command it runs find the packages' programs too. A hook run
// from devd(8) or rc gets only /sbin:/bin:/usr/sbin:/usr/bin.
void complete_search_path();

#endif
