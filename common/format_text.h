#ifndef VORLIX_FORMAT_TEXT_H
#define VORLIX_FORMAT_TEXT_H

#include <stddef.h>

#include <string>
#include <vector>

// Bounded formatting of a text for the user: snprintf into buf, whose size
// is the limit, except that a cut never leaves half a UTF-8 character at
// the end. Longer text is cut, never rejected.
void format_text(char *buf, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// Drops an incomplete UTF-8 sequence from the end of text: what a cut at a
// byte limit may leave.
void trim_partial_character(char *text);

// The printf conversions of format, in order, each as written ("%s",
// "%10.2f"); "%%" is none. False for a format with a conversion that is
// incomplete, unknown or unsafe (%n).
bool printf_conversions(const char *format, std::vector<std::string> *conversions);

// True when translation carries exactly the conversions of source, in the
// same order, so that it can take the same arguments.
bool same_conversions(const char *source, const char *translation);

#endif
