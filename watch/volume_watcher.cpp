#include "watch/volume_watcher.h"

#include "platform/removable_disks.h"

#include <algorithm>

namespace {

// The volume a mount shows. Where the table gives device numbers (Linux),
// the filesystem's own, which every mount of it shares, binds included;
// elsewhere the device it was mounted from, whatever label named it
// (FreeBSD: /dev/msdosfs/STICK is /dev/da0s1).
std::string volume_key(const MountEntry &m)
{
    if (m.dev != 0)
        return "dev " + std::to_string(static_cast<unsigned long long>(m.dev));
    const std::string base = volume_provider(m.source);
    return base.empty() ? "from " + m.source : "provider " + base;
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

bool share_any(const std::set<std::string> &a, const std::set<std::string> &b)
{
    return std::any_of(a.begin(), a.end(), [&b](const std::string &k) { return b.count(k) != 0; });
}

} // namespace

VolumeWatcher::Volumes VolumeWatcher::volumes_of(const std::vector<MountEntry> &mounts)
{
    Volumes volumes;
    for (const MountEntry &m : mounts)
        volumes[volume_key(m)].insert(mount_key(m));
    return volumes;
}

void VolumeWatcher::begin(const std::vector<MountEntry> &mounts)
{
    known = volumes_of(mounts);
}

std::vector<VolumeStart> VolumeWatcher::update(const std::vector<MountEntry> &mounts)
{
    Volumes now = volumes_of(mounts);
    std::vector<VolumeStart> starts;
    std::set<std::string> decided;
    for (const MountEntry &m : mounts) {
        const std::string key = volume_key(m);
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
        if (admit(m))
            starts.push_back({m.dir, m.source, m.type, m});
    }
    known = std::move(now);
    return starts;
}
