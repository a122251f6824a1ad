#include "platform/fuse_link.h"

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

FuseLink fuse_link(const MountEntry &mount)
{
    FuseLink link;
    // The kernel records the mounting user in the mount's own options.
    const std::string options = "," + mount.options + ",";
    const size_t at = options.find(",user_id=");
    if (at != std::string::npos) {
        link.owner_known = true;
        link.owner = static_cast<uid_t>(strtoul(options.c_str() + at + 9, nullptr, 10));
    }
    if (mount.source.compare(0, 5, "/dev/") == 0) {
        link.state = FuseLink::linked;
        link.device = mount.source;
    } else {
        link.state = FuseLink::unlinked;
    }
    return link;
}

#endif
