#include "platform/disk_attribute.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include "platform/fs_probe.h"

#include <sys/types.h>
#include <sys/disk.h>
#include <sys/ioctl.h>

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

bool disk_attribute(const std::string &disk, const char *attribute, std::string *value)
{
    // A provider's name, never a path: nothing but a node of /dev itself.
    if (disk.empty() || disk.find('/') != std::string::npos || disk == "." || disk == "..")
        return false;
    const std::string node = "/dev/" + disk;
    // Asked where it can be given up on: a disk that nothing holds open
    // is opened by its driver, which for da asks the medium all over again
    // and waits for a stick that has stopped answering. Read only: the
    // last writer's close would have GEOM taste the disk again, and the
    // automounter mount it again.
    std::string answer;
    const bool asked = probe([&node, attribute] {
        const int fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return std::string();
        struct diocgattr_arg arg;
        memset(&arg, 0, sizeof arg);
        snprintf(arg.name, sizeof arg.name, "%s", attribute);
        arg.len = sizeof arg.value.str;
        const bool got = ioctl(fd, DIOCGATTR, &arg) == 0;
        close(fd);
        if (!got)
            return std::string();
        arg.value.str[sizeof arg.value.str - 1] = '\0';
        return '+' + std::string(arg.value.str);
    }, &answer);
    if (!asked || answer.empty() || answer[0] != '+')
        return false;
    *value = answer.substr(1);
    return true;
}

#else

bool disk_attribute(const std::string &, const char *, std::string *)
{
    return false;
}

#endif
