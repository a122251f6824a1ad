#ifndef VORLIX_DEVICE_HOLDERS_H
#define VORLIX_DEVICE_HOLDERS_H

#include <sys/types.h>

#include <string>
#include <vector>

struct DeviceSet;

// What still holds a volume or a disk, as far as the system tells: the
// reason an unmount did not let go of it, for the user.
struct Holder {
    enum Kind {
        mounted_on,      // what: a folder it is still mounted on, here
        other_namespace, // mounted in another mount namespace
        program,         // what: a program's name, pid: its process
        built_on,        // what: a device built on it ("dm-0")
        geom_class,      // what: the GEOM class that holds it ("ELI")
        through_node,    // FreeBSD: a program through its /dev node, unnamed
        claimed,         // the system holds it, and does not say why
        gone,            // a disk no longer there: another may take its name
        silent,          // its filesystem did not answer the question
        unlisted,        // the system's list of open files did not come in time
        hidden,          // what: the settings that hide the programs that may
                         // hold it ("security.bsd.see_other_uids=0")
        not_permitted,   // FreeBSD: the user may not unmount what.folder
    };
    Kind kind = claimed;
    std::string device; // which of the set is held: its node, or the file
    std::string what;
    long pid = 0;
};

// Every holder found, the most telling first (a program at work in it,
// then a folder it is still mounted on, ...). Empty when nothing holds it.
std::vector<Holder> device_holders(const DeviceSet &set);

// After folder (may be null) could not be unmounted as uid: the reasons
// that say most, for the user. First what still holds the set, as far as
// the system tells (of the folders it is still mounted on, folder itself);
// that the user may not unmount folder at all comes after it, or alone
// where nothing but the mount itself holds it: the mount helper may have
// the right the user lacks. Empty where the system tells nothing.
std::vector<Holder> why_still_held(const DeviceSet &set, const char *folder, uid_t uid);

#endif
