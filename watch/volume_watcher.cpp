#include "watch/volume_watcher.h"

#include "platform/fuse_link.h"
#include "platform/mount_recheck.h"
#include "platform/removable_disks.h"

#include <algorithm>
#include <set>

namespace {

// The volume a mount shows. Where the table gives device numbers (Linux),
// the filesystem's own, which every mount of it shares, binds included;
// elsewhere the device it was mounted from, whatever label named it
// (FreeBSD: /dev/msdosfs/STICK is /dev/da0s1), for FUSE the one its daemon
// reads. A FUSE mount that cannot be traced to a device is a volume of its
// own: FreeBSD names every one after /dev/fuse.
std::string volume_key(const MountEntry &m)
{
    if (m.dev != 0)
        return "dev " + std::to_string(static_cast<unsigned long long>(m.dev));
    const std::string base = volume_provider(m);
    if (!base.empty())
        return "provider " + base;
    if (is_fuse_type(m.type) || m.source == "/dev/fuse")
        return "fuse on " + m.dir;
    return "from " + m.source;
}

// One mount. Where the table gives ids (Linux), its id, which a remount
// and a move keep; elsewhere all the table says of it.
std::string mount_key(const MountEntry &m)
{
    if (m.id != 0)
        return "id " + std::to_string(m.id);
    std::string key = "at ";
    for (const std::string *part : {&m.source, &m.dir, &m.type}) {
        key += *part;
        key += '\0';
    }
    return key;
}

bool reads_as_option(const std::string &arg)
{
    return arg.empty() || arg[0] == '-';
}

template <typename Mounts> bool share_any(const Mounts &a, const Mounts &b)
{
    return std::any_of(a.begin(), a.end(), [&b](const auto &k) { return b.count(k.first) != 0; });
}

} // namespace

std::string VolumeWatcher::key_of(const MountEntry &m)
{
    const std::string mount = mount_key(m);
    const auto known_key = keys.find(mount);
    if (known_key != keys.end())
        return known_key->second;
    return keys[mount] = volume_key(m);
}

VolumeWatcher::Volumes VolumeWatcher::volumes_of(const std::vector<MountEntry> &mounts)
{
    Volumes volumes;
    for (const MountEntry &m : mounts)
        volumes[key_of(m)].emplace(mount_key(m), m);
    return volumes;
}

void VolumeWatcher::begin(const std::vector<MountEntry> &mounts)
{
    known = volumes_of(mounts);
    forget_gone_keys();
}

std::vector<VolumeStart> VolumeWatcher::update(const std::vector<MountEntry> &mounts)
{
    Volumes now = volumes_of(mounts);
    // A volume the reading left out may be hidden for a moment only: its
    // mounts that are still there stay known, so that it opens no second
    // window when the table shows it again.
    for (const auto &[key, before] : known) {
        if (now.count(key) != 0)
            continue;
        for (const auto &[mount, entry] : before)
            if (mount_still_there(entry, mounts))
                now[key].emplace(mount, entry);
    }
    std::vector<VolumeStart> starts;
    std::set<std::string> decided;
    for (const MountEntry &m : mounts) {
        const std::string key = key_of(m);
        if (!decided.insert(key).second)
            continue;
        // New: not there before, or every mount it had is gone and others
        // came in their place between two readings (unmounted and mounted
        // again faster than the table was read).
        const auto before = known.find(key);
        if (before != known.end() && share_any(before->second, now[key]))
            continue;
        if (reads_as_option(m.dir) || reads_as_option(m.source) || reads_as_option(m.type))
            continue;
        if (!admit(m))
            continue;
        const std::string device = volume_device(m);
        if (!reads_as_option(device))
            starts.push_back({m.dir, device, m.type, m});
    }
    known = std::move(now);
    forget_gone_keys();
    return starts;
}

void VolumeWatcher::forget_gone_keys()
{
    std::set<std::string> present;
    for (const auto &volume : known)
        for (const auto &mount : volume.second)
            present.insert(mount.first);
    for (auto it = keys.begin(); it != keys.end();)
        it = present.count(it->first) != 0 ? std::next(it) : keys.erase(it);
}
