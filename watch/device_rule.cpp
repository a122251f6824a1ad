#include "watch/device_rule.h"

#include "platform/fuse_link.h"
#include "platform/removable_disks.h"

#include <unistd.h>

DeviceRule::~DeviceRule()
{
    if (has_pattern)
        regfree(&expression);
}

bool DeviceRule::set_pattern(const char *pattern, std::string *error)
{
    if (has_pattern) {
        regfree(&expression);
        has_pattern = false;
    }
    if (pattern == nullptr || *pattern == '\0')
        return true;
    const int rc = regcomp(&expression, pattern, REG_EXTENDED);
    if (rc != 0) {
        char why[256];
        regerror(rc, &expression, why, sizeof why);
        *error = why;
        return false;
    }
    has_pattern = true;
    return true;
}

bool DeviceRule::pattern_matches(const std::string &device) const
{
    if (!has_pattern)
        return false;
    // Anchoring the user's text ("^(" + it + ")$") would change what an
    // unbalanced one means. Instead the match must cover the whole name:
    // POSIX matching takes the longest match at the leftmost place, so a
    // whole-name match, if there is one, is the one found.
    regmatch_t match[1];
    return regexec(&expression, device.c_str(), 1, match, 0) == 0 && match[0].rm_so == 0
        && static_cast<size_t>(match[0].rm_eo) == device.size();
}

bool DeviceRule::admits(const MountEntry &mount) const
{
    // Another user's FUSE program may call its filesystem "/dev/sdb1" and
    // serve anything under that name, over a folder anyone may enter: such
    // a window would name this user's disk over that user's files.
    if (is_fuse_type(mount.type) && !fuse_link_trusted(fuse_link(mount), geteuid()))
        return false;
    // The device as vorlix will be given it: on FreeBSD a FUSE mount's is
    // the one its daemon reads, as every such mount shows /dev/fuse.
    return pattern_matches(volume_device(mount)) || mount_on_removable_disk(mount, sysfs_root);
}
