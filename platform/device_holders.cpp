#include "platform/device_holders.h"

#include "common/disk_names.h"
#include "platform/disk_devices.h"
#include "platform/fs_probe.h"
#include "platform/mount_table.h"
#include "platform/process_files.h"
#include "platform/target.h"
#include "platform/unmount_rights.h"

#if VORLIX_ON_FREEBSD
#include "platform/geom_disks.h"
#else
#include "platform/sysfs_disks.h"
#endif

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

template <typename T>
bool contains(const std::vector<T> &list, const T &item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool inside(const std::string &path, const std::string &dir)
{
    return dir == "/" || path == dir || path.compare(0, dir.size() + 1, dir + "/") == 0;
}

void add(std::vector<Holder> *holders, Holder::Kind kind, const std::string &device, const std::string &what,
         long pid = 0)
{
    for (const Holder &h : *holders)
        if (h.kind == kind && h.what == what && h.pid == pid)
            return;
    holders->push_back({kind, device, what, pid});
}

// The other programs and their open files, asked for once, and only where
// they are needed: on FreeBSD each look is a child that may have to be
// given up on.
class Programs
{
public:
    const ProcessView &view()
    {
        if (!asked) {
            asked = true;
            listed = list_open_files(&seen);
            timed_out = !listed && errno == ETIMEDOUT;
        }
        return seen;
    }

    const std::vector<OpenFile> &files() { return view().files; }

    // What the user must be told of what could not be seen: that the list
    // did not come in time, or which settings hide part of it.
    void tell_unseen(const DeviceSet &set, std::vector<Holder> *holders) const
    {
        if (timed_out)
            add(holders, Holder::unlisted, set.node, set.node);
        else if (listed && !seen.hidden_by.empty())
            add(holders, Holder::hidden, set.node, seen.hidden_by);
    }

private:
    ProcessView seen;
    bool asked = false;
    bool listed = false;
    bool timed_out = false;
};

// The set's filesystems mounted here, and the programs at work inside
// them (a shell whose folder is there keeps it busy).
void mounted_and_inside(const DeviceSet &set, std::vector<Holder> *holders, Programs *programs)
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return;
    std::vector<std::string> dirs;
    for (const MountEntry &m : mounts) {
        if (mount_owner(m, set) != Owner::member)
            continue;
        const std::string dir = collapse_path(m.dir.c_str());
        add(holders, Holder::mounted_on, collapse_path(m.source.c_str()), dir);
        dirs.push_back(dir);
    }
    for (const std::string &dir : dirs)
        for (const OpenFile &f : programs->files())
            if (!f.path.empty() && inside(collapse_path(f.path.c_str()), dir))
                add(holders, Holder::program, set.node, f.command, f.pid);
}

// A program whose files the system does not show, but whose command line
// names path: a FUSE daemon of root's, say, serving a disk image file or
// reading a device. True when there is one.
bool named_on_command_line(const std::string &path, const std::string &device, Programs *programs,
                           std::vector<Holder> *holders)
{
    bool named = false;
    for (const ProcessInfo &p : programs->view().processes) {
        if (p.files_known)
            continue;
        for (size_t i = 1; i < p.args.size(); ++i)
            if (p.args[i].compare(0, 1, "/") == 0 && collapse_path(p.args[i].c_str()) == path) {
                add(holders, Holder::program, device, p.command, p.pid);
                named = true;
                break;
            }
    }
    return named;
}

// Whoever has the disk image file open: a FUSE daemon still writing its
// last changes, say. FreeBSD names a file only where its name is still
// known to the system, which it is for a file a daemon just opened.
void file_holders(const DeviceSet &set, Programs *programs, std::vector<Holder> *holders)
{
    std::string real;
    if (!probe_realpath(set.node.c_str(), &real)) {
        if (errno == ETIMEDOUT)
            add(holders, Holder::silent, set.node, set.node);
        return;
    }
    for (const OpenFile &f : programs->files())
        if (!f.working_dir && !f.device && f.path == real)
            add(holders, Holder::program, set.node, f.command, f.pid);
    named_on_command_line(collapse_path(real.c_str()), set.node, programs, holders);
}

#if VORLIX_ON_FREEBSD

void system_holders(const DeviceSet &set, Programs *programs, std::vector<Holder> *holders)
{
    if (set.basis == DeviceSet::by_name && set.is_file)
        file_holders(set, programs, holders);
    if (set.basis != DeviceSet::by_provider)
        return;
    GeomIdentity id;
    if (!geom_identity(set.holder, &id)) {
        // A stick pulled meanwhile: for a disk about to be written, the
        // next one plugged in may take its name; a volume is simply gone.
        if (set.whole_disk)
            add(holders, Holder::gone, set.node, set.holder);
        return;
    }
    // The open count decides; the holds only say who.
    if (geom_provider_idle(set.holder))
        return;
    const size_t before = holders->size();
    for (const GeomHold &hold : geom_holds(set.providers)) {
        const std::string node = "/dev/" + hold.provider;
        if (hold.cls == "VFS")
            continue; // a mount: the table names its folder
        if (hold.cls != "DEV") {
            add(holders, Holder::geom_class, node, hold.cls);
            continue;
        }
        bool named = false;
        for (const OpenFile &f : programs->files())
            if (f.device && f.device_name == hold.provider) {
                add(holders, Holder::program, node, f.command, f.pid);
                named = true;
            }
        if (!named_on_command_line(node, node, programs, holders) && !named)
            add(holders, Holder::through_node, node, hold.provider);
    }
    if (holders->size() == before)
        add(holders, Holder::claimed, set.node, set.holder);
}

#else

// The device numbers' /proc/<pid>/ns/mnt: another namespace than ours.
bool mounted_in_another_namespace(const DeviceSet &set)
{
    char own[PATH_MAX];
    const ssize_t n = readlink("/proc/self/ns/mnt", own, sizeof own - 1);
    if (n < 0)
        return false;
    own[n] = '\0';
    std::vector<std::string> seen = {own};
    DIR *procs = opendir("/proc");
    if (procs == nullptr)
        return false;
    bool found = false;
    while (const dirent *p = readdir(procs)) {
        if (p->d_name[0] < '0' || p->d_name[0] > '9')
            continue;
        const std::string proc = std::string("/proc/") + p->d_name;
        char ns[PATH_MAX];
        const ssize_t len = readlink((proc + "/ns/mnt").c_str(), ns, sizeof ns - 1);
        if (len < 0)
            continue;
        ns[len] = '\0';
        if (contains(seen, std::string(ns)))
            continue;
        seen.push_back(ns);
        std::vector<MountEntry> mounts;
        if (!read_mountinfo((proc + "/mountinfo").c_str(), &mounts))
            continue;
        for (const MountEntry &m : mounts)
            if (contains(set.numbers, m.dev))
                found = true;
        if (found)
            break;
    }
    closedir(procs);
    return found;
}

// Whether any other process has the file open: a write lease is granted
// only then. 1 held, 0 free, -1 cannot tell (not ours to lease, or a
// filesystem without leases), -2 its filesystem did not answer.
int file_held_open(const std::string &path)
{
    std::string answer;
    const bool asked = probe([&path] {
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return std::string("?");
        std::string result = "?";
        if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
            fcntl(fd, F_SETLEASE, F_UNLCK);
            result = "0";
        } else if (errno == EAGAIN || errno == EBUSY) {
            result = "1";
        }
        close(fd);
        return result;
    }, &answer);
    if (!asked)
        return errno == ETIMEDOUT ? -2 : -1;
    return answer == "1" ? 1 : answer == "0" ? 0 : -1;
}

void system_holders(const DeviceSet &set, Programs *programs, std::vector<Holder> *holders)
{
    if (set.basis == DeviceSet::by_number) {
        for (const OpenFile &f : programs->files())
            if (f.device && f.rdev != 0 && contains(set.numbers, f.rdev))
                add(holders, Holder::program, f.path, f.command, f.pid);
        for (dev_t dev : set.numbers)
            for (const std::string &name : sysfs_holders_of(dev, "/sys")) {
                // Its own partitions and the devices built on them are the
                // set's; what else is built on it holds it.
                struct stat st;
                const std::string node = "/dev/" + name;
                if (stat(node.c_str(), &st) != 0 || !contains(set.numbers, st.st_rdev))
                    add(holders, Holder::built_on, set.node, name);
            }
        if (set.node.empty())
            return;
        // The kernel refuses an exclusive open of a block device that a
        // filesystem or a device built on it still claims, in any mount
        // namespace, where our table shows only ours. Where we may not
        // open it, the rest must do.
        const int fd = open(set.node.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
            return;
        }
        if (errno == ENOENT || errno == ENXIO || errno == ENODEV) {
            if (set.whole_disk)
                add(holders, Holder::gone, set.node, set.node);
            return;
        }
        if (errno != EBUSY)
            return;
        if (mounted_in_another_namespace(set))
            add(holders, Holder::other_namespace, set.node, "");
        if (holders->empty())
            add(holders, Holder::claimed, set.node, "");
        return;
    }
    if (set.basis == DeviceSet::by_name && set.is_file) {
        // A disk image file: whoever has it open may still write to it,
        // as a FUSE daemon does until its last flush. The lease asks the
        // kernel, which also knows of those we may not look into.
        file_holders(set, programs, holders);
        const int held = file_held_open(set.node);
        if (held == -2)
            add(holders, Holder::silent, set.node, set.node);
        else if (held == 1 && holders->empty())
            add(holders, Holder::claimed, set.node, "");
    }
}

#endif

// The most telling first: a program at work in it (which keeps it
// mounted, too), then where it is still mounted, then what else holds it.
int rank(Holder::Kind kind)
{
    switch (kind) {
    case Holder::gone: return 0;
    case Holder::silent: return 1;
    case Holder::unlisted: return 2;
    case Holder::program: return 3;
    case Holder::hidden: return 4;
    case Holder::mounted_on: return 5;
    case Holder::other_namespace: return 6;
    case Holder::built_on: return 7;
    case Holder::geom_class: return 8;
    case Holder::through_node: return 9;
    case Holder::claimed: return 10;
    case Holder::not_permitted: return 11;
    }
    return 12;
}

} // namespace

std::vector<Holder> device_holders(const DeviceSet &set)
{
    Programs programs;
    std::vector<Holder> holders;
    mounted_and_inside(set, &holders, &programs);
    system_holders(set, &programs, &holders);
    programs.tell_unseen(set, &holders);
    // In rank, and as found within one rank.
    std::vector<size_t> order(holders.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int ra = rank(holders[a].kind), rb = rank(holders[b].kind);
        return ra != rb ? ra < rb : a < b;
    });
    std::vector<Holder> sorted;
    for (size_t i : order)
        sorted.push_back(holders[i]);
    return sorted;
}

std::vector<Holder> why_still_held(const DeviceSet &set, const char *folder, uid_t uid)
{
    const std::vector<Holder> holders = device_holders(set);
    std::vector<Holder> why;
    if (!holders.empty()) {
        Holder first = holders.front();
        if (first.kind == Holder::mounted_on && folder != nullptr)
            for (const Holder &h : holders)
                if (h.kind == Holder::mounted_on && h.what == collapse_path(folder)) {
                    first = h;
                    break;
                }
        why.push_back(first);
    }
    if (folder == nullptr || !unmount_denied(folder, uid))
        return why;
    // Being mounted, and the system's claim on a mounted device, are no
    // reason of their own: then the missing right is the one.
    if (!why.empty() && (why[0].kind == Holder::mounted_on || why[0].kind == Holder::claimed))
        why.clear();
    why.push_back({Holder::not_permitted, set.node, collapse_path(folder), 0});
    return why;
}
