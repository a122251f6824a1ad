#include "platform/disk_attachment.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include <sys/types.h>
#include <sys/disk.h>
#include <sys/ioctl.h>

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

bool disk_attachment(const std::string &disk, std::string *attachment)
{
    if (disk.empty() || disk.find('/') != std::string::npos)
        return false;
    // Opening the disk for reading asks nothing of the medium while it is
    // already open, as it is with a filesystem mounted on it.
    const std::string node = "/dev/" + disk;
    const int fd = open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct diocgattr_arg attr;
    memset(&attr, 0, sizeof attr);
    snprintf(attr.name, sizeof attr.name, "%s", "GEOM::attachment");
    attr.len = sizeof attr.value.str;
    const bool ok = ioctl(fd, DIOCGATTR, &attr) == 0;
    close(fd);
    if (!ok)
        return false;
    attr.value.str[sizeof attr.value.str - 1] = '\0';
    *attachment = attr.value.str;
    return !attachment->empty();
}

#else

bool disk_attachment(const std::string &, std::string *)
{
    return false;
}

#endif
