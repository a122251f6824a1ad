#include "platform/geom_tree.h"

#if VORLIX_ON_FREEBSD

#include <string.h>

GeomTree::GeomTree()
{
    // Empty lists first, so that releasing is safe whatever happened: a
    // dump that fails to parse part-way leaves what it had built in them,
    // and one that could not be fetched leaves them untouched.
    memset(&tree, 0, sizeof tree);
    LIST_INIT(&tree.lg_class);
    ok = geom_gettree(&tree) == 0;
    if (!ok)
        geom_deletetree(&tree);
}

GeomTree::~GeomTree()
{
    if (ok)
        geom_deletetree(&tree);
}

gprovider *GeomTree::find(const std::string &name)
{
    if (!ok)
        return nullptr;
    gclass *cls;
    LIST_FOREACH(cls, &tree.lg_class, lg_class) {
        ggeom *geom;
        LIST_FOREACH(geom, &cls->lg_geom, lg_geom) {
            gprovider *pp;
            LIST_FOREACH(pp, &geom->lg_provider, lg_provider)
                if (pp->lg_name != nullptr && name == pp->lg_name)
                    return pp;
        }
    }
    return nullptr;
}

const char *geom_class_name(const ggeom *geom)
{
    if (geom == nullptr || geom->lg_class == nullptr || geom->lg_class->lg_name == nullptr)
        return "";
    return geom->lg_class->lg_name;
}

bool geom_in_class(const ggeom *geom, const char *name)
{
    return strcmp(geom_class_name(geom), name) == 0;
}

const char *geom_config_value(const gconf *config, const char *name)
{
    if (config == nullptr)
        return nullptr;
    const gconfig *entry;
    LIST_FOREACH(entry, config, lg_config)
        if (entry->lg_name != nullptr && strcmp(entry->lg_name, name) == 0)
            return entry->lg_val;
    return nullptr;
}

#endif
