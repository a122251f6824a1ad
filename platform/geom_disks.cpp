#include "platform/geom_disks.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include "common/disk_names.h"
#include "platform/geom_tree.h"

#include <string.h>

#include <algorithm>

namespace {

// Stacks of providers are shallow; the bound only stops a looping tree.
const int max_depth = 16;

// The provider that pp's geom is made from; null for a disk.
gprovider *made_from(const gprovider *pp)
{
    if (pp->lg_geom == nullptr)
        return nullptr;
    const gconsumer *cp = LIST_FIRST(&pp->lg_geom->lg_consumer);
    return cp != nullptr ? cp->lg_provider : nullptr;
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

// The provider name, down through what it is made from (every layer, or
// labels only), and everything stacked on the one reached.
bool stack_of(const std::string &name, bool labels_only, GeomSet *set)
{
    GeomTree mesh;
    gprovider *pp = mesh.find(name);
    if (pp == nullptr)
        return false;
    for (int depth = 0; depth < max_depth && (!labels_only || geom_in_class(pp->lg_geom, "LABEL")); ++depth) {
        gprovider *below = made_from(pp);
        if (below == nullptr)
            break;
        pp = below;
    }
    set->base = pp->lg_name;
    set->providers.clear();
    add_stacked_on(pp, labels_only, set, 0);
    return true;
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
    if (!mesh.read())
        return false; // cannot tell, so not free
    const gprovider *pp = mesh.find(name);
    return pp == nullptr || (pp->lg_mode != nullptr && strcmp(pp->lg_mode, "r0w0e0") == 0);
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
            if (geom_in_class(cp->lg_geom, "DEV") && cp->lg_mode != nullptr && strcmp(cp->lg_mode, "r0w0e0") != 0)
                return true;
    }
    return false;
}

// Stand-ins until the walk learns identities and holds.
bool geom_identity(const std::string &name, GeomIdentity *id)
{
    GeomTree mesh;
    const gprovider *pp = mesh.find(name);
    if (pp == nullptr)
        return false;
    id->provider = name;
    id->mediasize = pp->lg_mediasize;
    return true;
}

std::vector<GeomHold> geom_holds(const std::vector<std::string> &)
{
    return {};
}

std::string geom_provider_for(const char *device)
{
    const std::string path = collapse_path(device);
    return path.compare(0, 5, "/dev/") == 0 ? path.substr(5) : std::string();
}

#endif
