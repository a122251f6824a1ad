#include "common/search_path.h"

#include <stdlib.h>
#include <unistd.h>

// True when path lists dir, written with or without trailing slashes.
static bool lists_dir(const std::string &path, const std::string &dir)
{
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(':', start);
        std::string entry = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        while (entry.size() > 1 && entry.back() == '/')
            entry.pop_back();
        if (entry == dir)
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

static std::string default_search_path()
{
    char buf[1025];
    const size_t n = confstr(_CS_PATH, buf, sizeof buf);
    if (n == 0 || n > sizeof buf)
        return "/usr/bin:/bin";
    return buf;
}

std::string search_path_with_local_dirs(const char *path)
{
    std::string out = path != nullptr ? path : default_search_path();
    for (const char *dir : {VORLIX_LOCAL_BIN, VORLIX_LOCAL_SBIN})
        if (!lists_dir(out, dir))
            out += std::string(":") + dir;
    return out;
}

void complete_search_path()
{
    const std::string path = search_path_with_local_dirs(getenv("PATH"));
    setenv("PATH", path.c_str(), 1);
}
