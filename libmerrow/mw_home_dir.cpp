#include "merrow.h"

#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

char *mw_get_home_dir(char *buf, size_t size)
{
    if (buf == nullptr || size == 0)
        return nullptr;

    const char *home = getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const struct passwd *pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    if (home == nullptr || *home == '\0')
        return nullptr;

    snprintf(buf, size, "%s", home);
    return buf;
}
