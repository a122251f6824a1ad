#include "watch/device_rule.h"

#include "platform/removable_disks.h"

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
    return pattern_matches(mount.source) || mount_on_removable_disk(mount, sysfs_root);
}
