#include "common/parent_device.h"

#include <string.h>

static bool is_ascii_digit(char c)
{
    // Not isdigit(): its result for bytes with the high bit set depends on
    // the locale, and a plain char may be negative.
    return c >= '0' && c <= '9';
}

char *parent_device(const char *device)
{
    char *copy = strdup(device);
    if (copy == nullptr)
        return nullptr;

    char *p = copy;
    while (*p != '\0' && !is_ascii_digit(*p))
        ++p;
    while (is_ascii_digit(*p))
        ++p;
    *p = '\0';
    return copy;
}
