#include "platform/fuse_link.h"

#include "platform/device_node.h"
#include "platform/mount_table.h"
#include "platform/target.h"

#include <stdlib.h>

bool is_fuse_type(const std::string &type)
{
    return type.compare(0, 4, "fuse") == 0;
}

bool fuse_link_trusted(const FuseLink &link, uid_t uid)
{
    return link.owner_known && (link.owner == 0 || link.owner == uid);
}

#if VORLIX_ON_FREEBSD

FuseLink fuse_link(const MountEntry &)
{
    // Not told yet: the daemon behind /dev/fuse is found from the GEOM
    // tree and the daemons' own records.
    return FuseLink();
}

#else

namespace {

// The value of the mount's one "user_id=" option: digits alone, given once.
bool mounting_user(const std::string &options, uid_t *uid)
{
    bool found = false;
    unsigned long value = 0;
    size_t pos = 0;
    while (pos <= options.size()) {
        size_t end = options.find(',', pos);
        if (end == std::string::npos)
            end = options.size();
        const std::string option = options.substr(pos, end - pos);
        pos = end + 1;
        if (option.compare(0, 8, "user_id=") != 0)
            continue;
        const std::string digits = option.substr(8);
        if (found || digits.empty() || digits.size() > 10
            || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = strtoul(digits.c_str(), nullptr, 10);
        found = true;
    }
    if (!found || value != static_cast<uid_t>(value))
        return false;
    *uid = static_cast<uid_t>(value);
    return true;
}

} // namespace

FuseLink fuse_link(const MountEntry &mount)
{
    FuseLink link;
    // The kernel records the user who mounted it, whose program serves it,
    // in the mount's own options ("rw,user_id=1000,group_id=1000"); the
    // program cannot choose it.
    link.owner_known = mounting_user(mount.options, &link.owner);
    // Its source is whatever the program called it: a device only where
    // it is a block device node of the kernel's own in /dev. Which device
    // it reads is then true only for a program that may be trusted with it
    // (fuse_link_trusted).
    dev_t number;
    if (devfs_block_device(mount.source, &number)) {
        link.state = FuseLink::linked;
        link.device = mount.source;
    } else {
        link.state = FuseLink::unlinked;
    }
    return link;
}

#endif
