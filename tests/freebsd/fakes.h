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

// The processes the kernel shows (kinfo_getallproc, kern.proc.args,
// kinfo_getfile), with their open files: a device by its name under /dev
// ("fuse", "da0s2"), a file or working folder by its path. What the
// program may see of them follows the kernel's rules (sys/kern/kern_prot.c):
// root sees everything; a user every process, unless
// security.bsd.see_other_uids=0 hides those another user started (or
// see_other_gids=0 those of no group of the user's), but the files only of
// the user's own that did not change their user, and none at all with
// security.bsd.unprivileged_proc_debug=0.
struct FakeFile {
    QByteArray path;
    QByteArray device; // empty: not a device
    bool working_dir = false;
};
struct FakeProcess {
    long pid = 0;
    QByteArray command;
    QList<FakeFile> files;
    bool visible = true;        // false: root's, as a devd hook's daemon is
    QList<QByteArray> args{};   // its arguments after its name
    long owner = -1;            // the user it runs as; -1: as visible says
    long started_by = -1;       // the user who started it; -1: its owner
    bool changed_user = false;  // P_SUGID: its user changed since it started
    bool shares_group = true;   // with the program's user
    bool hangs = false;         // the list of its files never comes
};
extern QList<FakeProcess> processes;
// Who the program runs as (geteuid, getuid); the test's own uid by
// default.
extern uid_t euid;
// How many arrays kinfo_getallproc and kinfo_getfile handed out that were
// not given back to free(3) yet: the tests' link wraps free() to tell.
int arrays_outstanding();

// sysctl vfs.usermount, an int.
extern int usermount;
// Other int sysctls by name ("security.bsd.see_other_uids"); a name missing
// here is unknown.
extern std::map<std::string, int> numbers;
// Other sysctl values by name, strings (the da driver's flags); a name
// missing here is unknown.
extern std::map<std::string, std::string> sysctls;
// Who mounted what (statfs's f_owner) by mount point; root where none is given.
extern QList<QPair<QByteArray, uid_t>> owners;

// A dump from tests/freebsd/geom.
QByteArray tree_file(const QString &name);

// Sets a provider's open count, as opening or closing it would.
void set_mode(const QByteArray &provider, const QByteArray &mode);
// Sets how a provider is open through its /dev node (its DEV consumer's
// mode), as a program opening or closing the node would.
void set_node_mode(const QByteArray &provider, const QByteArray &mode);
// Sets a provider's size in bytes, as another medium in a reader would.
void set_mediasize(const QByteArray &provider, long long bytes);

// How many trees are built and not yet released.
int trees_alive();

} // namespace fake

#endif
