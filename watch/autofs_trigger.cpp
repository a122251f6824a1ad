#include "watch/autofs_trigger.h"

#include "platform/bounded_query.h"
#include "platform/disk_marks.h"
#include "platform/mount_recheck.h"
#include "platform/removable_disks.h"
#include "watch/launcher.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

namespace {

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The label folders of GEOM's LABEL class that hold a filesystem's own
// label, the one fstyp(8) reads and the -media map lists: not gpt/,
// gptid/, ufsid/ or diskid/, which name partitions and disks.
bool filesystem_label(const std::string &provider, std::string *label)
{
    const size_t slash = provider.find('/');
    if (slash == std::string::npos)
        return false;
    const std::string dir = provider.substr(0, slash);
    for (const char *fs : {"msdosfs", "ext2fs", "ufs", "ntfs", "iso9660"})
        if (dir == fs) {
            *label = provider.substr(slash + 1);
            return true;
        }
    return false;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A character of a label that reaches the map's key as it stands. fstyp
// prints the label through vis(3) with VIS_GLOB and VIS_NL, "\"'$" besides:
// whatever is not printable ASCII, the characters glob(3) reads and those
// come out encoded, and a backslash doubled.
bool passes_unchanged(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x20 && u <= 0x7e && strchr("\\*?[#\"'$", c) == nullptr;
}

std::string default_look_up(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? std::string() : std::string(strerror(errno));
}

bool same_medium(const GeomIdentity &a, const GeomIdentity &b)
{
    return a.ident == b.ident && a.mediasize == b.mediasize;
}

void sleep_ms(int ms)
{
    struct timespec ts = {ms / 1000, static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

} // namespace

std::string media_folder(const std::vector<MountEntry> &mounts)
{
    for (size_t i = 0; i < mounts.size(); ++i) {
        const MountEntry &m = mounts[i];
        // automount(8) mounts each map of auto_master as "map <name>".
        if (m.type == "autofs" && m.source == "map -media" && !m.dir.empty() && m.dir[0] == '/'
            && on_top_of_folder(mounts, i))
            return m.dir;
    }
    return std::string();
}

std::string media_key_of_label(const std::string &provider)
{
    std::string mangled;
    if (!filesystem_label(provider, &mangled))
        return std::string();
    // GEOM wrote each blank, '%', '"' and byte that is not printable as
    // %XX, and dropped blanks at either end.
    std::string label;
    for (size_t i = 0; i < mangled.size(); ++i) {
        if (mangled[i] != '%') {
            label += mangled[i];
            continue;
        }
        const int high = i + 2 < mangled.size() ? hex_digit(mangled[i + 1]) : -1;
        const int low = high >= 0 ? hex_digit(mangled[i + 2]) : -1;
        if (low < 0)
            return std::string();
        label += static_cast<char>(high * 16 + low);
        i += 2;
    }
    // The script hands the label on unquoted (echo ${_label}): blanks
    // between words become one, and a first word that begins with "-"
    // could be taken for an option of echo. Then "+" and "/" become "-".
    std::string key;
    bool blank = false;
    for (const char c : label) {
        if (!passes_unchanged(c))
            return std::string();
        if (c == ' ') {
            blank = !key.empty();
            continue;
        }
        if (key.empty() && c == '-')
            return std::string();
        if (blank)
            key += ' ';
        blank = false;
        key += (c == '+' || c == '/') ? '-' : c;
    }
    if (key == "." || key == ".." || key.size() > 255)
        return std::string();
    return key;
}

std::string media_key(const GeomMediaView &view)
{
    // The map lists only providers nothing holds open, and none with "/"
    // in its name.
    if (view.base.empty() || view.base == "." || view.base == ".." || view.base.find('/') != std::string::npos
        || !view.idle)
        return std::string();
    int filesystems = 0;
    std::string label_key;
    for (const std::string &label : view.labels) {
        std::string text;
        if (filesystem_label(label, &text)) {
            ++filesystems;
            label_key = media_key_of_label(label);
        }
    }
    // A disk with a partition table is entered through its partitions,
    // unless a filesystem spans it whole (an ISO image written to a stick).
    if (view.partitioned && filesystems == 0)
        return std::string();
    // The map's script looks a key up as a node in /dev first, then among
    // the labels of every provider nothing holds open, an internal disk's
    // too: a key that another provider answers to is not this one's.
    const auto leads_elsewhere = [&view](const std::string &key) {
        for (const std::string &other : view.others)
            if (other == key || media_key_of_label(other) == key)
                return true;
        return false;
    };
    if (filesystems == 1 && !label_key.empty() && !leads_elsewhere(label_key))
        return label_key;
    return leads_elsewhere(view.base) ? std::string() : view.base;
}

int AutofsTrigger::timeout_ms() const
{
    if (retry_at < 0)
        return -1;
    const long long left = retry_at - now_ms();
    return left > 0 ? static_cast<int>(left) : 0;
}

void AutofsTrigger::table_read(const std::vector<MountEntry> &mounts)
{
    folder = media_folder(mounts);
    if (folder.empty()) {
        devd.close();
        retry_at = -1;
        retry_delay_ms = 0;
        return;
    }
    if (devd.descriptor() < 0 && retry_at < 0)
        connect();
}

void AutofsTrigger::connect()
{
    retry_at = -1;
    if (devd.connect()) {
        heard = false;
        connected_at = now_ms();
        // A stick pulled out or a card changed while devd was away is free
        // to come back.
        for (auto it = entered.begin(); it != entered.end();) {
            GeomIdentity now;
            it = geom_identity(it->first, &now) && same_medium(now, it->second) ? std::next(it) : entered.erase(it);
        }
        return;
    }
    if (errno == ENOSYS)
        return; // no devd on this system
    retry_later(false);
}

void AutofsTrigger::retry_later(bool afresh)
{
    // devd is not there for now (being restarted): again after a wait
    // that doubles, for a minute, and then at the next mount news. Never a
    // loop that keeps the agent awake.
    retry_delay_ms = afresh || retry_delay_ms == 0 ? first_retry_ms : retry_delay_ms * 2;
    if (retry_delay_ms > last_retry_ms) {
        retry_delay_ms = 0;
        retry_at = -1;
        return;
    }
    retry_at = now_ms() + retry_delay_ms;
}

void AutofsTrigger::wake(bool readable)
{
    if (readable && devd.descriptor() >= 0) {
        std::vector<DevdEvent> news;
        const bool open = devd.read(&news);
        if (!news.empty())
            heard = true;
        for (const DevdEvent &event : news)
            handle(event);
        // devd ended. A connection that brought news or lasted starts the
        // waits afresh; one closed at once (devd takes no more listeners)
        // goes on doubling them.
        if (!open && !folder.empty())
            retry_later(heard || now_ms() - connected_at >= last_retry_ms);
    }
    if (retry_at >= 0 && now_ms() >= retry_at && !folder.empty())
        connect();
}

void AutofsTrigger::handle(const DevdEvent &event)
{
    if (event.kind == DevdEvent::destroyed) {
        entered.erase(event.name);
        return;
    }
    GeomMediaView view;
    GeomIdentity medium;
    if (!geom_media_view(event.name, &view) || !geom_identity(view.base, &medium))
        return;
    // Both devfs and GEOM tell of each node, and a label comes back once
    // its provider is unmounted: one entering for each provider plugged in.
    // GEOM tells of a new medium whenever the last writer closes a
    // provider, as every unmount of a read-write mount does: only another
    // card in a reader, a medium that is not the one entered, is a new
    // volume on the same provider.
    const auto was = entered.find(view.base);
    if (was != entered.end()) {
        if (event.kind != DevdEvent::media_changed || same_medium(medium, was->second))
            return;
        entered.erase(was);
    }
    if (!geom_provider_removable(view.base))
        return;
    // A disk that vorlix writes shows the partitions of what it has written
    // so far; mounted now, they would be corrupted, and would corrupt what
    // the tool reads back. Once the job is done, the stick is plugged in
    // again.
    if (!view.disk.empty() && disk_marked(view.disk))
        return;
    const std::string key = media_key(view);
    if (!key.empty())
        enter(view.base, key, medium);
}

void AutofsTrigger::enter(const std::string &base, const std::string &key, const GeomIdentity &medium)
{
    if (folder.empty())
        return;
    const std::string path = folder + (folder.back() == '/' ? "" : "/") + key;
    const auto ask = look_up ? look_up : default_look_up;
    const int most = looks > 0 ? looks : 1;
    const int wait = recheck_ms;
    // The child's answer: "+" something is mounted there now, "-" the
    // folder was found but nothing mounted on it at any look, "!" and why
    // the look-up failed.
    std::string answer;
    const bool answered = bounded_query([&ask, &path, most, wait] {
        for (int look = 1;; ++look) {
            const std::string failed = ask(path);
            if (!failed.empty())
                return '!' + failed;
            if (mounted_over_autofs(path))
                return std::string("+");
            if (look >= most)
                return std::string("-");
            sleep_ms(wait);
        }
    }, limit_ms, &answer);
    if (!answered) {
        const int why = errno;
        // A folder that does not answer is not asked again for this
        // medium, which would only hang the next child as well.
        if (why == ETIMEDOUT)
            entered[base] = medium;
        if (!report)
            return;
        if (why == ETIMEDOUT)
            report("no answer from " + printable(path) + " within " + std::to_string(limit_ms / 1000)
                   + " s; given up on it");
        else
            report("cannot enter " + printable(path) + ": " + strerror(why));
        return;
    }
    // Entered only once something is mounted there: a later word of the
    // provider from devd enters it again.
    if (answer == "+") {
        entered[base] = medium;
        return;
    }
    if (!report)
        return;
    if (answer == "-")
        report("the automounter mounted nothing on " + printable(path));
    else
        report("the automounter mounted nothing on " + printable(path) + ": " + answer.substr(1));
}
