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

    // Only the device's own name is cut: the folders above it are where it
    // lives (a sandbox such as /tmp/user/1000/demo/da0s1), and a digit
    // there says nothing about the disk.
    char *p = strrchr(copy, '/');
    p = p != nullptr ? p + 1 : copy;
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
    const bool ends_in_digit = is_ascii_digit(disk[len - 1]);
#if defined(__linux__) && !defined(VORLIX_FREEBSD_BRANCH)
    // Linux names a whole disk without a unit number (sda) and its
    // partitions by a number after it (sda1). Every FreeBSD disk name ends
    // in its unit number, after which more digits name another disk (da1 is
    // not a part of da10s1), and a name without one is a label, which names
    // one filesystem and has no partitions.
    if (!ends_in_digit && is_ascii_digit(*rest))
        return true;
#endif
    // A letter and a number follow a disk name that ends in its number
    // (da0s1, da0p3, nvme0n1p1); after one that does not, they name another
    // disk (sdap1 is not a part of sda).
    return ends_in_digit && (*rest == 's' || *rest == 'p') && is_ascii_digit(rest[1]);
}

std::string collapse_path(const char *path)
{
    const bool absolute = path[0] == '/';
    std::string out = absolute ? "/" : "";
    const char *p = path;
    while (*p != '\0') {
        while (*p == '/')
            ++p;
        const char *end = strchr(p, '/');
        const size_t len = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
        // An empty step or "." names the folder it stands in.
        if (len > 0 && !(len == 1 && *p == '.')) {
            if (!out.empty() && out.back() != '/')
                out += '/';
            out.append(p, len);
        }
        p += len;
    }
    return out.empty() && *path != '\0' ? "." : out;
}
