#ifndef VORLIX_GEOM_TREE_H
#define VORLIX_GEOM_TREE_H

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include <libgeom.h>

#include <string>

// The GEOM tree as the kernel describes it at the moment of reading
// (libgeom's geom_gettree), released when the object goes.
class GeomTree
{
public:
    GeomTree();
    ~GeomTree();
    GeomTree(const GeomTree &) = delete;
    GeomTree &operator=(const GeomTree &) = delete;

    // False when the tree could not be read.
    bool read() const { return ok; }

    // The provider of that name ("da0s1", "gpt/BACKUP"), or null.
    gprovider *find(const std::string &name);

    gmesh *mesh() { return ok ? &tree : nullptr; }

private:
    gmesh tree;
    bool ok = false;
};

// True when the geom belongs to the class of that name ("PART", "DISK").
bool geom_in_class(const ggeom *geom, const char *name);

// The class name of the geom, or "" where the tree does not say.
const char *geom_class_name(const ggeom *geom);

// The value of a configuration entry ("ident", "attachment"), or null.
const char *geom_config_value(const gconf *config, const char *name);

#endif

#endif
