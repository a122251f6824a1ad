#ifndef VORLIX_FIRST_LINE_H
#define VORLIX_FIRST_LINE_H

#include <string>

// The first line of a small file the kernel writes (a sysfs attribute,
// /proc/<pid>/comm), without its newline, up to 4095 bytes; "" when it
// cannot be read.
std::string first_line(const std::string &path);

#endif
