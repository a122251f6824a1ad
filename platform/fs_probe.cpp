#include "platform/fs_probe.h"

#include "platform/device_node.h"
#include "platform/target.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace {

ProbeRunner &runner()
{
    static ProbeRunner asks_directly = [](const std::function<std::string()> &question, std::string *answer) {
        *answer = question();
        return true;
    };
    return asks_directly;
}

// An answer is the call's result: '+' and its bytes, or '-' and errno.
std::string failure()
{
    const int err = errno;
    return '-' + std::string(reinterpret_cast<const char *>(&err), sizeof err);
}

bool take(const std::string &answer, void *out, size_t size, std::string *text = nullptr)
{
    if (!answer.empty() && answer[0] == '+') {
        if (text != nullptr) {
            *text = answer.substr(1);
            return true;
        }
        if (answer.size() == size + 1) {
            memcpy(out, answer.data() + 1, size);
            return true;
        }
    }
    int err = EIO;
    if (answer.size() == sizeof err + 1 && answer[0] == '-')
        memcpy(&err, answer.data() + 1, sizeof err);
    errno = err;
    return false;
}

} // namespace

void set_probe_runner(const ProbeRunner &given)
{
    runner() = given;
}

bool probe(const std::function<std::string()> &question, std::string *answer)
{
    return runner()(question, answer);
}

bool probe_stat(const char *path, struct stat *st)
{
    // Device nodes live in the kernel's own filesystem, which answers;
    // they are asked directly, without a child to wait for.
#if VORLIX_ON_FREEBSD
    // devfs holds nothing but them and root's links.
    if (strncmp(path, "/dev/", 5) == 0 && strstr(path, "/..") == nullptr)
        return stat(path, st) == 0;
#else
    // Not so every name under /dev: /dev/shm is anyone's to write, and a
    // link there may lead into a filesystem that never answers. Only a node
    // found in devtmpfs itself (device_node.h) is.
    if (devfs_device_node(path, st))
        return true;
#endif
    std::string answer;
    const bool asked = probe([path] {
        struct stat s;
        if (stat(path, &s) != 0)
            return failure();
        return '+' + std::string(reinterpret_cast<const char *>(&s), sizeof s);
    }, &answer);
    return asked && take(answer, st, sizeof *st);
}

bool probe_realpath(const char *path, std::string *resolved)
{
    std::string answer;
    const bool asked = probe([path] {
        char real[PATH_MAX];
        if (realpath(path, real) == nullptr)
            return failure();
        return '+' + std::string(real);
    }, &answer);
    return asked && take(answer, nullptr, 0, resolved);
}
