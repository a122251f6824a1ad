#ifndef VORLIX_PRIVATE_MOUNTS_H
#define VORLIX_PRIVATE_MOUNTS_H

#include <QByteArray>
#include <QList>
#include <QString>

class BinaryFixture;

// Real mounts for a run of the program, made and seen only inside a mount
// namespace of its own (unshare, as root), so that nothing the test mounts
// or unmounts reaches the machine.

// Why such runs cannot be made here; empty when they can.
QString private_mounts_unavailable();

// BinaryFixture::wrapper for a run in a private mount namespace: setup (sh,
// with the fixture's environment, $MNT among it) runs first with the
// system's own tools on PATH; then the program runs with the fakes as its
// PATH. Once it has ended, what is still mounted under $MNT goes into the
// file $LEFT, one "<folder> <source>" line per mount, oldest first, and,
// where $ENDED names a file, the moment it ended (date +%s%N). At the
// end the shell runs "$undo" (where setup sets its own EXIT trap, that
// trap must), which a setup may add its steps to.
QList<QByteArray> private_mounts_wrapper(const QByteArray &setup);

// sh for the setup of such a run, as root: a trap that another user
// (nobody) may lay for whoever looks at its open files. It holds a file of
// /dev/shm open that it has unlinked, whose link therefore reads
// "/dev/shm/f (deleted)", and has made that very name a symbolic link into
// a FUSE filesystem whose daemon is stopped: following the name never
// returns. The filesystem is fuse2fs's, on the folder $STUCK; /dev/shm is
// a tmpfs of the namespace's own. Its steps are added to "$undo".
QByteArray stuck_link_planted();

// A real block device: a loop device over a small ext4 image file in dir,
// detached again when the object goes, if it still reads a file in dir (a
// case may have attached it to another). Only ever a file of the test's own.
class LoopDisk
{
public:
    explicit LoopDisk(const QString &dir);
    ~LoopDisk();
    LoopDisk(const LoopDisk &) = delete;
    LoopDisk &operator=(const LoopDisk &) = delete;

    QByteArray node;  // "/dev/loop3"; empty when none could be made
    QString why_not;  // why not, for the skip

private:
    QString dir;
};

// Readies fx for a run on disk in a private mount namespace: $MNT (the
// fixture's mnt folder), $DEV (the disk's node) and $LEFT in its
// environment; the folders vol, bound and other under $MNT; $DEV mounted on
// $MNT/vol; then setup.
void prepare_loop_disk_run(BinaryFixture *fx, const LoopDisk &disk, const QByteArray &setup);

// What was still mounted under $MNT when that run ended, oldest first:
// "<folder> <source>" with the folder relative to $MNT, the disk's node
// written DEV and $MNT written MNT.
QList<QByteArray> loop_disk_mounts_left(const BinaryFixture &fx, const LoopDisk &disk);

#endif
