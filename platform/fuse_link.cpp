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

#include "common/disk_names.h"
#include "platform/geom_disks.h"
#include "platform/geom_tree.h"
#include "platform/process_files.h"

#include <algorithm>
#include <vector>

// FreeBSD's kernel names every FUSE mount after the FUSE device, /dev/fuse
// (fuse_vfsop_mount copies it into f_mntfromname), and every daemon has that
// same device open: the mount itself never tells which disk its daemon
// reads. Two things do, as far as a user may see them:
//  - the daemon's command line, which names the device and the folder
//    ("mount.exfat /dev/da0s1 /media/da0s1"), and its user, which the
//    kernel keeps beside it;
//  - the GEOM tree, where a daemon opens its device through the device's
//    node (a DEV consumer, r1w1e0) and a kernel filesystem never does.
// Where neither tells, the link is unknown.

namespace {

template <typename T>
bool contains(const std::vector<T> &list, const T &item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

template <typename T>
void add_once(std::vector<T> *list, const T &item)
{
    if (!contains(*list, item))
        list->push_back(item);
}

bool is_fuse_mount(const MountEntry &m)
{
    return is_fuse_type(m.type) || m.source == "/dev/fuse";
}

bool same_mount(const MountEntry &a, const MountEntry &b)
{
    return a.dir == b.dir && a.source == b.source && a.type == b.type && a.owner == b.owner;
}

// Whose word a program's command line is. A program started by one user
// that runs as another (a set-user-id one) was given its arguments by the
// one who started it.
uid_t program_owner(const ProcessInfo &p)
{
    return p.uid == p.ruid || p.ruid == 0 ? p.uid : p.ruid;
}

FuseLink linked(const std::string &provider, uid_t owner)
{
    FuseLink link;
    link.state = FuseLink::linked;
    link.device = "/dev/" + provider;
    link.owner_known = true;
    link.owner = owner;
    return link;
}

FuseLink unlinked(uid_t owner)
{
    FuseLink link;
    link.state = FuseLink::unlinked;
    link.owner_known = true;
    link.owner = owner;
    return link;
}

// What the system shows, read once for all the FUSE mounts of the table.
struct Scene {
    std::vector<MountEntry> mounts;
    ProcessView view;
    std::vector<GeomNodeOpen> opens;
    std::vector<std::string> providers; // every provider of the tree
};

// The provider an argument names as "/dev/<name>", where the tree has one
// of that name; nothing is asked of any filesystem.
std::string provider_named(const std::string &arg, const Scene &scene)
{
    if (arg.compare(0, 5, "/dev/") != 0)
        return std::string();
    const std::string name = collapse_path(arg.c_str()).substr(5);
    return name != "fuse" && contains(scene.providers, name) ? name : std::string();
}

bool open_through_node(const std::string &provider, const Scene &scene, bool writing_only)
{
    return std::any_of(scene.opens.begin(), scene.opens.end(), [&](const GeomNodeOpen &o) {
        return o.provider == provider && (o.writing || !writing_only);
    });
}

// The programs of the mount's user that name its folder on their command
// line: its daemon, as a rule. The kernel lets only root mount another
// user's daemon, so a program of any other user is none of its own.
std::vector<const ProcessInfo *> daemons_of(const MountEntry &m, const Scene &scene)
{
    std::vector<const ProcessInfo *> found;
    const std::string dir = collapse_path(m.dir.c_str());
    for (const ProcessInfo &p : scene.view.processes) {
        if (!p.args_known || p.uid != m.owner)
            continue;
        for (size_t i = 1; i < p.args.size(); ++i)
            if (p.args[i].compare(0, 1, "/") == 0 && collapse_path(p.args[i].c_str()) == dir) {
                found.push_back(&p);
                break;
            }
    }
    return found;
}

// From the daemon's command line, or, where it names no device, from what
// it has open. Unknown where its programs disagree, or name a device that
// nothing reads through its node.
FuseLink by_daemon(const std::vector<const ProcessInfo *> &daemons, const Scene &scene)
{
    std::vector<std::string> named;
    std::vector<uid_t> owners;
    bool files_known = true;
    for (const ProcessInfo *p : daemons) {
        add_once(&owners, program_owner(*p));
        files_known = files_known && p->files_known;
        for (size_t i = 1; i < p->args.size(); ++i) {
            const std::string provider = provider_named(p->args[i], scene);
            if (!provider.empty())
                add_once(&named, provider);
        }
    }
    if (owners.size() != 1 || named.size() > 1)
        return FuseLink();
    if (named.size() == 1)
        return open_through_node(named[0], scene, false) ? linked(named[0], owners[0]) : FuseLink();
    if (!files_known)
        return FuseLink();
    std::vector<std::string> held;
    for (const OpenFile &f : scene.view.files)
        if (f.device && f.device_name != "fuse" && open_through_node(f.device_name, scene, false)
            && std::any_of(daemons.begin(), daemons.end(), [&](const ProcessInfo *p) { return p->pid == f.pid; }))
            add_once(&held, f.device_name);
    if (held.size() == 1)
        return linked(held[0], owners[0]);
    return held.empty() ? unlinked(owners[0]) : FuseLink();
}

// What the GEOM tree tells, for a mount whose daemon cannot be seen:
// linked to the one provider opened for writing through its node that
// nothing else accounts for, where it is the one such mount; a link once
// made stays while its mount and that open last, so that sticks mounted
// one after another are each told apart. Not linked to any device where no
// provider is open through its node unaccounted for.
struct Remembered {
    MountEntry mount;
    std::string provider;
};
std::vector<Remembered> &remembered()
{
    static std::vector<Remembered> links;
    return links;
}

FuseLink by_tree(const MountEntry &asked, const std::vector<MountEntry> &unsettled,
                 const std::vector<std::string> &linked_elsewhere, const Scene &scene)
{
    std::vector<Remembered> &links = remembered();
    links.erase(std::remove_if(links.begin(), links.end(), [&](const Remembered &r) {
        const bool mounted = std::any_of(scene.mounts.begin(), scene.mounts.end(),
                                         [&](const MountEntry &m) { return same_mount(m, r.mount); });
        return !mounted || !open_through_node(r.provider, scene, true);
    }), links.end());
    std::vector<std::string> accounted = linked_elsewhere;
    std::vector<MountEntry> open_question;
    for (const MountEntry &m : unsettled) {
        const auto known = std::find_if(links.begin(), links.end(), [&](const Remembered &r) { return same_mount(r.mount, m); });
        if (known == links.end()) {
            open_question.push_back(m);
            continue;
        }
        if (same_mount(m, asked))
            return linked(known->provider, m.owner);
        accounted.push_back(known->provider);
    }

    // Solidly accounted for: no other open can be the daemon's.
    std::vector<std::string> unaccounted, writers;
    for (const GeomNodeOpen &o : scene.opens)
        if (!contains(accounted, o.provider))
            add_once(&unaccounted, o.provider);
    if (unaccounted.empty())
        return unlinked(asked.owner);
    if (open_question.size() != 1)
        return FuseLink();
    // Likely another program's: one that names the device on its command
    // line, or one seen to have it open, without /dev/fuse.
    std::vector<std::string> others;
    for (const ProcessInfo &p : scene.view.processes)
        for (size_t i = 1; i < p.args.size(); ++i) {
            const std::string provider = provider_named(p.args[i], scene);
            if (!provider.empty())
                add_once(&others, provider);
        }
    std::vector<long> serving; // programs with /dev/fuse open
    for (const OpenFile &f : scene.view.files)
        if (f.device && f.device_name == "fuse")
            add_once(&serving, f.pid);
    for (const OpenFile &f : scene.view.files)
        if (f.device && f.device_name != "fuse" && !contains(serving, f.pid))
            add_once(&others, f.device_name);
    for (const GeomNodeOpen &o : scene.opens)
        if (o.writing && contains(unaccounted, o.provider) && !contains(others, o.provider))
            add_once(&writers, o.provider);
    if (writers.size() != 1)
        return FuseLink();
    // The kernel lets a user mount only a daemon of their own: its user is
    // the mount's.
    links.push_back({asked, writers[0]});
    return linked(writers[0], asked.owner);
}

} // namespace

void forget_fuse_links()
{
    remembered().clear();
}

FuseLink fuse_link(const MountEntry &mount)
{
    Scene scene;
    bool tree_read = false;
    scene.opens = geom_node_opens(&tree_read);
    if (!tree_read || !list_open_files(&scene.view))
        return FuseLink();
    if (!list_mounts(&scene.mounts))
        scene.mounts.clear();
    if (std::none_of(scene.mounts.begin(), scene.mounts.end(), [&](const MountEntry &m) { return same_mount(m, mount); }))
        scene.mounts.push_back(mount);
    {
        GeomTree tree;
        gclass *cls;
        if (tree.mesh() != nullptr)
            LIST_FOREACH(cls, &tree.mesh()->lg_class, lg_class) {
                ggeom *geom;
                LIST_FOREACH(geom, &cls->lg_geom, lg_geom) {
                    gprovider *pp;
                    LIST_FOREACH(pp, &geom->lg_provider, lg_provider)
                        if (pp->lg_name != nullptr)
                            scene.providers.push_back(pp->lg_name);
                }
            }
    }

    // The daemons' own word first, for every FUSE mount: what they account
    // for, no other mount's daemon reads. Mounts on one folder cannot be
    // told apart by it: none of them is linked.
    FuseLink asked;
    bool asked_settled = false;
    std::vector<MountEntry> unsettled;
    std::vector<std::string> linked_elsewhere;
    for (const MountEntry &m : scene.mounts) {
        if (!is_fuse_mount(m))
            continue;
        const std::string dir = collapse_path(m.dir.c_str());
        const long on_folder = std::count_if(scene.mounts.begin(), scene.mounts.end(), [&](const MountEntry &o) {
            return is_fuse_mount(o) && collapse_path(o.dir.c_str()) == dir;
        });
        const std::vector<const ProcessInfo *> daemons = daemons_of(m, scene);
        FuseLink link;
        if (on_folder == 1 && !daemons.empty())
            link = by_daemon(daemons, scene);
        if (link.state == FuseLink::linked)
            linked_elsewhere.push_back(link.device.substr(5));
        else if (link.state == FuseLink::unknown)
            unsettled.push_back(m);
        if (same_mount(m, mount)) {
            asked = link;
            // Only a mount whose daemon cannot be seen at all is left to
            // the GEOM tree.
            asked_settled = link.state != FuseLink::unknown || on_folder > 1 || !daemons.empty();
        }
    }
    if (asked_settled || !is_fuse_mount(mount))
        return asked;
    return by_tree(mount, unsettled, linked_elsewhere, scene);
}

#else

void forget_fuse_links()
{
}

namespace {

// The value of the mount's one "user_id=" option: digits alone, given once.
bool mounting_user(const std::string &options, uid_t *uid)
{
    bool found = false;
    unsigned long value = 0;
    for (const std::string &option : mount_options(options)) {
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
