#ifndef VORLIX_FREEBSD_FAKES_H
#define VORLIX_FREEBSD_FAKES_H

// Table-fed fakes of the FreeBSD calls the platform layer makes, for its
// FreeBSD branch built on Linux (and on FreeBSD itself, where the tests
// link these in place of the system's): libgeom's tree from a dump shaped
// like kern.geom.confxml, the mount table for getmntinfo and statfs, and
// the names of device nodes for devname_r.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <map>
#include <string>

#include <stdint.h>
#include <sys/types.h>

using Mounts = QList<QPair<QByteArray, QByteArray>>; // mounted from, mounted on

namespace fake {

// The GEOM tree now, as the kernel would dump it; empty: unreadable. A
// dump that breaks off part-way fails as libgeom fails it, with what was
// read so far left in the mesh for geom_deletetree to release.
extern QByteArray tree;
// The mount table now, oldest first.
extern Mounts mounts;
// Mount points whose unmount is underway, and will fail: getmntinfo, which
// does not wait, leaves them out; statfs, whose lookup waits for the
// outcome, finds them still mounted.
extern QList<QByteArray> unmounting;
// Filesystem types by mount point; "ufs" where none is given.
extern QList<QPair<QByteArray, QByteArray>> types;
// What statfs says of a filesystem's size, by mount point; zero where none
// is given. available is f_bavail, signed as the kernel's.
struct Space {
    uint64_t block_size = 0, blocks = 0, free_blocks = 0;
    int64_t available = 0;
};
extern QList<QPair<QByteArray, Space>> spaces;
// The names of character devices by number, as devfs gives them ("da0s1");
// devname_r formats any other number as the real one does.
extern QList<QPair<dev_t, QByteArray>> devnames;

// The processes libprocstat shows, with their open files: a device by its
// name under /dev ("fuse", "da0s2"), a file or working folder by its path.
struct FakeFile {
    QByteArray path;
    QByteArray device; // empty: not a device
    bool working_dir = false;
};
struct FakeProcess {
    long pid = 0;
    QByteArray command;
    QList<FakeFile> files;
    bool visible = true; // false: another user's, whose files we may not see
};
extern QList<FakeProcess> processes;
// Who the program runs as (geteuid); the test's own uid by default. As
// root every process's files may be seen; as another user only its own.
extern uid_t euid;

// sysctl vfs.usermount, an int.
extern int usermount;
// Other sysctl values by name, strings (the da driver's flags); a name
// missing here is unknown.
extern std::map<std::string, std::string> sysctls;
// Who mounted what (statfs's f_owner) by mount point; root where none is given.
extern QList<QPair<QByteArray, uid_t>> owners;

// A dump from tests/freebsd/geom.
QByteArray tree_file(const QString &name);

// Sets a provider's open count, as opening or closing it would.
void set_mode(const QByteArray &provider, const QByteArray &mode);

// How many trees are built and not yet released.
int trees_alive();

} // namespace fake

#endif
