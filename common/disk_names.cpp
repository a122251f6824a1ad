#include "common/disk_names.h"

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

bool names_disk_or_partition(const char *name, const char *disk)
{
    const size_t len = strlen(disk);
    if (len == 0 || strncmp(name, disk, len) != 0)
        return false;
    const char *rest = name + len;
    if (*rest == '\0')
        return true;
    // After a disk name that ends in its unit number, more digits name
    // another disk: da1 is not a part of da10s1.
    if (!is_ascii_digit(disk[len - 1]) && is_ascii_digit(*rest))
        return true;
    return (*rest == 's' || *rest == 'p') && is_ascii_digit(rest[1]);
}
