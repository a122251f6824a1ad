#include "platform/geom_disks.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include "common/disk_names.h"
#include "platform/fs_probe.h"
#include "platform/geom_tree.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>

namespace {

// Stacks of providers are shallow; the bound only stops a looping tree.
const int max_depth = 16;

// Classes whose geom takes one provider and hands its data on: a
// partition table, a label, encryption, a nop layer. A geom of any other
// class may be built from several disks (MIRROR, CONCAT, RAID, ...) or
// from none (ZFS::ZVOL, GATE), so nothing below it is the disk.
bool passes_through(const ggeom *geom)
{
    for (const char *cls : {"PART", "LABEL", "ELI", "NOP"})
        if (geom_in_class(geom, cls))
            return true;
    return false;
}

bool idle_mode(const char *mode)
{
    return mode != nullptr && strcmp(mode, "r0w0e0") == 0;
}

// The provider the geom is made from when it takes exactly one; null
// otherwise. The order of the consumer list says nothing: libgeom puts
// each consumer it reads at the head.
gprovider *sole_provider(const ggeom *geom)
{
    if (geom == nullptr)
        return nullptr;
    const gconsumer *only = LIST_FIRST(&geom->lg_consumer);
    if (only == nullptr || LIST_NEXT(only, lg_consumer) != nullptr)
        return nullptr;
    return only->lg_provider;
}

// Down from pp through the geoms that pass data straight on (labels only,
// when labels_only), to the provider where that ends.
gprovider *bottom_of(gprovider *pp, bool labels_only)
{
    for (int depth = 0; depth < max_depth; ++depth) {
        const bool through = labels_only ? geom_in_class(pp->lg_geom, "LABEL") : passes_through(pp->lg_geom);
        gprovider *below = through ? sole_provider(pp->lg_geom) : nullptr;
        if (below == nullptr)
            break;
        pp = below;
    }
    return pp;
}

void add(const gprovider *pp, GeomSet *set)
{
    if (std::find(set->providers.begin(), set->providers.end(), pp->lg_name) == set->providers.end())
        set->providers.push_back(pp->lg_name);
}

// pp and every provider of the geoms that consume it, all the way up;
// only through labels when labels_only.
void add_stacked_on(const gprovider *pp, bool labels_only, GeomSet *set, int depth)
{
    add(pp, set);
    if (depth >= max_depth)
        return;
    const gconsumer *cp;
    LIST_FOREACH(cp, &pp->lg_consumers, lg_consumers) {
        if (labels_only && !geom_in_class(cp->lg_geom, "LABEL"))
            continue;
        if (cp->lg_geom == nullptr)
            continue;
        const gprovider *up;
        LIST_FOREACH(up, &cp->lg_geom->lg_provider, lg_provider)
            add_stacked_on(up, labels_only, set, depth + 1);
    }
}

// The provider name, down through what it is made from (every layer that
// passes data on, or labels only), and everything stacked on the one
// reached.
bool stack_of(const std::string &name, bool labels_only, GeomSet *set)
{
    GeomTree mesh;
    gprovider *pp = mesh.find(name);
    if (pp == nullptr)
        return false;
    pp = bottom_of(pp, labels_only);
    set->base = pp->lg_name;
    set->providers.clear();
    set->unwritable_class.clear();
    const char *descr = geom_config_value(&pp->lg_config, "descr");
    set->description = descr != nullptr ? descr : "";
    if (!labels_only && !geom_in_class(pp->lg_geom, "DISK") && !geom_in_class(pp->lg_geom, "MD")) {
        const char *cls = geom_class_name(pp->lg_geom);
        set->unwritable_class = cls[0] != '\0' ? cls : "unknown";
    }
    add_stacked_on(pp, labels_only, set, 0);
    return true;
}

void add_hold(const gprovider *pp, const ggeom *by, std::vector<GeomHold> *holds)
{
    GeomHold hold{pp->lg_name, geom_class_name(by)};
    const bool seen = std::any_of(holds->begin(), holds->end(), [&](const GeomHold &h) {
        return h.provider == hold.provider && h.cls == hold.cls;
    });
    if (!seen)
        holds->push_back(hold);
}

// What holds pp, seen through partition tables and labels. True when
// anything does.
bool holds_on(const gprovider *pp, std::vector<GeomHold> *holds, int depth)
{
    bool held = false;
    const gconsumer *cp;
    LIST_FOREACH(cp, &pp->lg_consumers, lg_consumers) {
        if (cp->lg_mode == nullptr || idle_mode(cp->lg_mode))
            continue;
        held = true;
        // A partition table or label holds its provider only while one of
        // its own providers is open: report that one, and the table itself
        // only if nothing above says why.
        bool above = false;
        if (depth < max_depth && cp->lg_geom != nullptr
            && (geom_in_class(cp->lg_geom, "PART") || geom_in_class(cp->lg_geom, "LABEL"))) {
            const gprovider *up;
            LIST_FOREACH(up, &cp->lg_geom->lg_provider, lg_provider)
                above = holds_on(up, holds, depth + 1) || above;
        }
        if (!above)
            add_hold(pp, cp->lg_geom, holds);
    }
    return held;
}

} // namespace

bool geom_disk_of(const std::string &name, GeomSet *set)
{
    return stack_of(name, false, set);
}

bool geom_volume_of(const std::string &name, GeomSet *set)
{
    return stack_of(name, true, set);
}

bool geom_provider_idle(const std::string &name)
{
    GeomTree mesh;
    const gprovider *pp = mesh.find(name);
    return pp != nullptr && idle_mode(pp->lg_mode);
}

bool geom_opened_through_node(const std::vector<std::string> &names)
{
    GeomTree mesh;
    for (const std::string &name : names) {
        const gprovider *pp = mesh.find(name);
        if (pp == nullptr)
            continue;
        const gconsumer *cp;
        LIST_FOREACH(cp, &pp->lg_consumers, lg_consumers)
            if (geom_in_class(cp->lg_geom, "DEV") && cp->lg_mode != nullptr && !idle_mode(cp->lg_mode))
                return true;
    }
    return false;
}

bool geom_identity(const std::string &name, GeomIdentity *id)
{
    GeomTree mesh;
    gprovider *pp = mesh.find(name);
    if (pp == nullptr)
        return false;
    const gprovider *disk = bottom_of(pp, false);
    const char *ident = geom_config_value(&disk->lg_config, "ident");
    id->provider = pp->lg_name;
    id->ident = ident != nullptr ? ident : "";
    id->mediasize = static_cast<long long>(pp->lg_mediasize);
    return true;
}

std::vector<GeomHold> geom_holds(const std::vector<std::string> &names)
{
    std::vector<GeomHold> holds;
    GeomTree mesh;
    for (const std::string &name : names) {
        const gprovider *pp = mesh.find(name);
        if (pp != nullptr)
            holds_on(pp, &holds, 0);
    }
    return holds;
}

bool geom_media_view(const std::string &name, GeomMediaView *view)
{
    GeomTree mesh;
    gprovider *pp = mesh.find(name);
    if (pp == nullptr)
        return false;
    // A label has no labels of its own: LABEL tastes no provider of its class.
    pp = bottom_of(pp, true);
    view->base = pp->lg_name;
    view->idle = idle_mode(pp->lg_mode);
    view->partitioned = false;
    view->labels.clear();
    view->others.clear();
    const gconsumer *cp;
    LIST_FOREACH(cp, &pp->lg_consumers, lg_consumers) {
        if (geom_in_class(cp->lg_geom, "PART"))
            view->partitioned = true;
        if (!geom_in_class(cp->lg_geom, "LABEL"))
            continue;
        const gprovider *label;
        LIST_FOREACH(label, &cp->lg_geom->lg_provider, lg_provider)
            if (label->lg_name != nullptr)
                view->labels.push_back(label->lg_name);
    }
    gclass *cls;
    LIST_FOREACH(cls, &mesh.mesh()->lg_class, lg_class) {
        ggeom *geom;
        LIST_FOREACH(geom, &cls->lg_geom, lg_geom) {
            const gprovider *other;
            LIST_FOREACH(other, &geom->lg_provider, lg_provider) {
                if (other->lg_name == nullptr || other == pp
                    || std::find(view->labels.begin(), view->labels.end(), other->lg_name) != view->labels.end())
                    continue;
                view->others.push_back(other->lg_name);
            }
        }
    }
    GeomSet disk;
    view->disk = geom_disk_of(view->base, &disk) ? disk.base : std::string();
    return true;
}

std::vector<GeomNodeOpen> geom_node_opens(bool *read)
{
    std::vector<GeomNodeOpen> opens;
    GeomTree mesh;
    *read = mesh.read();
    if (!mesh.read())
        return opens;
    gclass *cls;
    LIST_FOREACH(cls, &mesh.mesh()->lg_class, lg_class) {
        if (cls->lg_name == nullptr || strcmp(cls->lg_name, "DEV") != 0)
            continue;
        const ggeom *geom;
        LIST_FOREACH(geom, &cls->lg_geom, lg_geom) {
            const gconsumer *cp;
            LIST_FOREACH(cp, &geom->lg_consumer, lg_consumer) {
                if (cp->lg_provider == nullptr || cp->lg_provider->lg_name == nullptr || cp->lg_mode == nullptr
                    || idle_mode(cp->lg_mode))
                    continue;
                // "r1w1e0": the writers' count follows the 'w'.
                const char *w = strchr(cp->lg_mode, 'w');
                opens.push_back({cp->lg_provider->lg_name, w != nullptr && atoi(w + 1) > 0});
            }
        }
    }
    return opens;
}

std::string geom_provider_for(const char *device)
{
    const std::string path = collapse_path(device);
    if (path.compare(0, 5, "/dev/") == 0) {
        GeomTree mesh;
        if (mesh.find(path.substr(5)) != nullptr)
            return path.substr(5);
    }
    // Another spelling of a node: the system knows each device node by
    // the name devfs gave it, which is the provider's.
    // Any path may lie on a filesystem that has stopped answering.
    struct stat st;
    if (!probe_stat(device, &st) || !S_ISCHR(st.st_mode))
        return std::string();
    char buf[1024];
    const char *name = devname_r(st.st_rdev, S_IFCHR, buf, sizeof buf);
    // A number it cannot name comes back as "#C:0x..." rather than null.
    if (name == nullptr || name[0] == '\0' || name[0] == '#')
        return std::string();
    return name;
}

#else // No GEOM elsewhere.

bool geom_identity(const std::string &, GeomIdentity *)
{
    return false;
}

bool geom_media_view(const std::string &, GeomMediaView *)
{
    return false;
}

#endif
