#ifndef VORLIX_AUTOFS_TRIGGER_H
#define VORLIX_AUTOFS_TRIGGER_H

#include "platform/devd_events.h"
#include "platform/geom_disks.h"
#include "platform/mount_table.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// FreeBSD's own automounter, autofs(5) with its -media map ("/media -media"
// in auto_master), mounts a stick only once someone enters its folder,
// /media/<key>: plugged in alone, it opens no window. So the agent enters
// that folder itself, for the sticks it would give a window: it hears of
// new providers from devd's socket, and the mount automountd(8) then makes
// is ordinary mount news. Without an autofs mount of the -media map
// nothing of this happens, and devd's socket is not even connected.

// The folder an autofs mount of the -media map covers ("/media"): the
// first such mount in the table that nothing is mounted over. Empty
// without one.
std::string media_folder(const std::vector<MountEntry> &mounts);

// The key the -media map lists a filesystem under, from the GEOM label of
// its filesystem ("msdosfs/MY%20STICK" gives "MY STICK"): the label as the
// map's script spells it, with "+" and "/" made "-". Empty for a provider
// that is no filesystem's label (gpt/, diskid/, ...), and for a label with
// characters the script would spell otherwise than the label reads.
std::string media_key_of_label(const std::string &provider);

// The key to enter for the provider view.base: the key of its
// filesystem's label, or else its own name, as the map lists it. Empty
// for none: a provider something holds open, one that holds a partition
// table, or one whose key could lead the map to another provider.
std::string media_key(const GeomMediaView &view);

class AutofsTrigger
{
public:
    explicit AutofsTrigger(const std::string &devd_socket = devd_socket_path) : devd(devd_socket) {}

    // After every reading of the mount table: connects to devd's socket
    // while an autofs mount of the -media map is there, and lets go of it
    // once there is none.
    void table_read(const std::vector<MountEntry> &mounts);

    // What the agent sleeps on besides the mount news: devd's socket, or
    // -1, and the time until the next try to connect to it again, or -1.
    int descriptor() const { return devd.descriptor(); }
    int timeout_ms() const;

    // After each wake: readable when descriptor() was. Reads devd's news
    // and enters the folders of new sticks, one after the other; connects
    // again when the time has come.
    void wake(bool readable);

    // Entering a folder, as the child does it: stat(2), which has autofs
    // ask automountd to mount what the map lists there, and returns once
    // it has. "" when it has; otherwise why not.
    std::function<std::string(const std::string &path)> look_up;
    // How long the child is waited for, as for every filesystem question.
    int limit_ms = 10000;
    // devd tells its listeners of a new provider before it has autofs'
    // cache flushed ("automount -c"): a look-up that finds the folder of a
    // key known before but nothing mounted on it is made again after
    // recheck_ms, up to looks in all, within limit_ms.
    int recheck_ms = 500;
    int looks = 5;
    // The first wait before connecting to devd's socket again, doubled
    // after each failure up to the last.
    int first_retry_ms = 500;
    int last_retry_ms = 32000;
    // Where the agent's messages go.
    std::function<void(const std::string &)> report;

private:
    void connect();
    void retry_later(bool afresh);
    void handle(const DevdEvent &event);
    void enter(const std::string &base, const std::string &key, const GeomIdentity &medium);

    DevdEvents devd;
    std::string folder;
    // The providers whose folder was entered, with the medium they held
    // then, until they go: plugged in again, a stick gets its window
    // again, and so does another card put into a reader; a stick that
    // autounmountd(8) unmounted while it stays in gets none.
    std::map<std::string, GeomIdentity> entered;
    long long retry_at = -1; // when to connect again; -1: not at all
    int retry_delay_ms = 0;  // the wait before retry_at
    bool heard = false;      // the connection brought news
    long long connected_at = 0;
};

#endif
