#include "actions/release_mounts.h"

#include "common/disk_names.h"
#include "common/wait_limits.h"
#include "platform/device_holders.h"
#include "platform/disk_devices.h"
#include "platform/fs_probe.h"
#include "platform/mount_table.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

// The folder as the mount table names it. The name given is looked up
// first: resolving it asks the filesystem mounted there, which may be the
// very one that has stopped answering.
std::string table_name(const char *dir, const std::vector<MountEntry> &mounts)
{
    const std::string given = collapse_path(dir);
    for (const MountEntry &m : mounts)
        if (collapse_path(m.dir.c_str()) == given)
            return given;
    std::string real;
    return probe_realpath(dir, &real) ? collapse_path(real.c_str()) : given;
}

size_t depth(const std::string &dir)
{
    return static_cast<size_t>(std::count(dir.begin(), dir.end(), '/'));
}

// Waits for the system to let go of the set's devices, by the clock: each
// look may itself take a while. One whose filesystem does not answer, or
// whose holders the system did not list in time, ends the wait at once; it
// will not answer the next time either.
bool wait_released(const DeviceSet &set, int wait_ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        const std::vector<Holder> holders = device_holders(set);
        if (holders.empty())
            return true;
        const Holder::Kind first = holders.front().kind;
        if (first == Holder::silent || first == Holder::unlisted || std::chrono::steady_clock::now() >= until)
            return false;
        usleep(100 * 1000);
    }
}

// Unmounts, pass by pass, every mount of the set that lies on top of its
// folder, deepest first; a mount of the set that another of its own
// covered comes up in the next pass.
Release sweep(const DeviceSet &set, const UnmountDir &unmount_dir, int wait_ms)
{
    size_t left_before = SIZE_MAX;
    for (;;) {
        std::vector<MountEntry> mounts;
        if (!list_mounts(&mounts))
            return Release::no_table;
        size_t left = 0;
        std::vector<std::string> dirs;
        for (size_t i = 0; i < mounts.size(); ++i) {
            if (mount_owner(mounts[i], set) != Owner::member)
                continue;
            ++left;
            // The helper unmounts whatever lies on top of the folder.
            if (on_top_of_folder(mounts, i))
                dirs.push_back(mounts[i].dir);
        }
        if (left == 0)
            break;
        // Nothing went since the last pass, although the helper said so,
        // or only mounts under another device's filesystem are left.
        if (left >= left_before || dirs.empty())
            return Release::busy;
        left_before = left;
        // Deepest first; folders as deep as each other keep the table's order.
        std::vector<size_t> order(dirs.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return depth(dirs[a]) != depth(dirs[b]) ? depth(dirs[a]) > depth(dirs[b]) : a < b;
        });
        for (size_t i : order)
            if (!unmount_dir(dirs[i]))
                return Release::helper_failed;
    }
    return wait_released(set, wait_ms) ? Release::done : Release::busy;
}

} // namespace

Release release_volume(const char *mount_point, const DeviceSet &volume, const UnmountDir &unmount_dir,
                       int wait_ms)
{
    if (wait_ms < 0)
        wait_ms = wait_limits().release_ms;
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return Release::no_table;
    const std::string folder = table_name(mount_point, mounts);
    const MountEntry *top = nullptr;
    for (size_t i = 0; i < mounts.size(); ++i)
        if (collapse_path(mounts[i].dir.c_str()) == folder && on_top_of_folder(mounts, i))
            top = &mounts[i];
    if (top != nullptr) {
        // A FUSE mount cannot be traced to its device. It is taken for the
        // volume's while a daemon holds the volume's device and no mount
        // the kernel made of it exists: a kernel filesystem would hold the
        // device itself, and a FUSE mount over it would be a stranger's.
        // With two FUSE mounts on the folder, which is the volume's cannot
        // be told either.
        const Owner owner = mount_owner(*top, volume);
        const bool kernel_mounted = std::any_of(mounts.begin(), mounts.end(), [&](const MountEntry &m) {
            return mount_owner(m, volume) == Owner::member;
        });
        const long fuse_on_folder = std::count_if(mounts.begin(), mounts.end(), [&](const MountEntry &m) {
            return collapse_path(m.dir.c_str()) == folder && mount_owner(m, volume) == Owner::unknown;
        });
        if (owner == Owner::other
            || (owner == Owner::unknown && (kernel_mounted || fuse_on_folder > 1 || devices_released(volume))))
            return Release::busy;
    }
    // With nothing on the folder, a device the system knows is judged by
    // what is left of it elsewhere: after an unmount that stopped half way,
    // the helper would only fail on the empty folder, again and again. By
    // name alone the helper's word is all there is.
    if (top != nullptr || volume.basis == DeviceSet::by_name) {
        if (!unmount_dir(mount_point))
            return Release::helper_failed;
    }
    return sweep(volume, unmount_dir, wait_ms);
}

Release release_disk(const DeviceSet &disk, const UnmountDir &unmount_dir, int wait_ms)
{
    return sweep(disk, unmount_dir, wait_ms < 0 ? wait_limits().release_ms : wait_ms);
}

std::string folder_as_table_names(const char *dir)
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        mounts.clear();
    return table_name(dir, mounts);
}

bool still_mounted(const char *mount_point, const DeviceSet &volume)
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return true; // cannot tell: keep what lets the user try again
    const std::string folder = table_name(mount_point, mounts);
    for (const MountEntry &m : mounts) {
        const Owner owner = mount_owner(m, volume);
        if (owner == Owner::member || (owner == Owner::unknown && collapse_path(m.dir.c_str()) == folder))
            return true;
    }
    return false;
}
