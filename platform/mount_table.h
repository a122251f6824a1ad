#ifndef VORLIX_MOUNT_TABLE_H
#define VORLIX_MOUNT_TABLE_H

#include <sys/types.h>

#include <string>
#include <vector>

// One mounted filesystem, as the system lists it.
struct MountEntry {
    std::string source; // what is mounted there: a device node, as a rule
    std::string dir;    // the directory it is mounted on
    dev_t dev;          // the st_dev of its files where the table tells (Linux), else 0
};

// Fills *mounts with every filesystem mounted now, in the system's order.
// Returns false with errno set when the table cannot be read.
bool list_mounts(std::vector<MountEntry> *mounts);

#endif
