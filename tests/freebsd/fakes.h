#ifndef VORLIX_FREEBSD_FAKES_H
#define VORLIX_FREEBSD_FAKES_H

// Table-fed fakes of the FreeBSD calls the platform layer makes, for its
// FreeBSD branch built on Linux (and on FreeBSD itself, where the tests
// link these in place of the system's): libgeom's tree from a dump shaped
// like kern.geom.confxml, and the mount table for getmntinfo and statfs.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

using Mounts = QList<QPair<QByteArray, QByteArray>>; // mounted from, mounted on

namespace fake {

// The GEOM tree now, as the kernel would dump it; empty: unreadable.
extern QByteArray tree;
// The mount table now, oldest first.
extern Mounts mounts;
// Filesystem types by mount point; "ufs" where none is given.
extern QList<QPair<QByteArray, QByteArray>> types;

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
// sysctl vfs.usermount.
extern int usermount;

// A dump from tests/freebsd/geom.
QByteArray tree_file(const QString &name);

// Sets a provider's open count, as opening or closing it would.
void set_mode(const QByteArray &provider, const QByteArray &mode);

// How many trees are built and not yet released.
int trees_alive();

} // namespace fake

#endif
