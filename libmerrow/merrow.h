#ifndef MERROW_H
#define MERROW_H

#include <stddef.h>

// Writes the user's home directory into buf (NUL-terminated, cut to fit)
// and returns buf, or returns null when no home directory can be found or
// it does not fit at all. $HOME wins when it is set and non-empty, so that
// a user (or a test) can point it elsewhere; the password database is the
// fallback.
char *mw_get_home_dir(char *buf, size_t size);

#endif
