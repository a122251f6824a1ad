#ifndef VORLIX_DEVICE_RULE_H
#define VORLIX_DEVICE_RULE_H

#include "platform/mount_table.h"

#include <regex.h>

#include <string>

// Which new volumes get a window: those on a disk the system calls
// removable (removable_disks.h), and those whose device, the mount's
// source, the user's own extended regular expression (VORLIX_WATCH_DEVICES)
// matches as a whole: a card reader wired inside the machine, a disk image.
// A FUSE filesystem gets one only where its program is root's or this
// user's (fuse_link.h): another user's may name any device.
class DeviceRule
{
public:
    DeviceRule() = default;
    ~DeviceRule();
    DeviceRule(const DeviceRule &) = delete;
    DeviceRule &operator=(const DeviceRule &) = delete;

    // The expression; null or empty for none. False, with the reason in
    // *error, when it is not a valid extended regular expression.
    bool set_pattern(const char *pattern, std::string *error);

    // True when the expression matches the whole of device. The bytes are
    // compared as they stand, whatever their encoding.
    bool pattern_matches(const std::string &device) const;

    bool admits(const MountEntry &mount) const;

    // Where sysfs is (Linux): "/sys", or a test's fixture tree.
    std::string sysfs_root = "/sys";

private:
    regex_t expression;
    bool has_pattern = false;
};

#endif
