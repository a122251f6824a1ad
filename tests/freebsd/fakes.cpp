// Fakes of libgeom, getmntinfo, statfs, devname_r, sysctl and libutil's
// process records, fed from the tables of fakes.h.
#include "fakes.h"

#include <libgeom.h>
#include <sys/param.h>
#include <sys/mount.h>
#include <sys/queue.h>
#include <sys/sysctl.h>
#include <sys/user.h>
#include <libutil.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

#include <errno.h>
#include <unistd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fake {

QByteArray tree;
Mounts mounts;
QList<QByteArray> unmounting;
QList<QPair<QByteArray, QByteArray>> types;
QList<FakeProcess> processes;
uid_t euid = ::getuid();
int usermount = 0;
std::map<std::string, std::string> sysctls;
std::map<std::string, int> numbers;
QList<QPair<QByteArray, uid_t>> owners;
QList<QPair<QByteArray, Space>> spaces;
QList<QPair<dev_t, QByteArray>> devnames;
std::vector<struct statfs> table;

QByteArray tree_file(const QString &name)
{
    QFile f(QStringLiteral(VORLIX_GEOM_TREES "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sets a provider's open count, as opening or closing it would.
void set_mode(const QByteArray &provider, const QByteArray &mode)
{
    const QString pattern = "<mode>r\\d+w\\d+e\\d+</mode>(\\s*<name>" + QRegularExpression::escape(provider) + "</name>)";
    tree = QString::fromUtf8(tree).replace(QRegularExpression(pattern), "<mode>" + mode + "</mode>\\1").toUtf8();
}

void set_node_mode(const QByteArray &provider, const QByteArray &mode)
{
    const QRegularExpressionMatch dev =
        QRegularExpression(R"re(<class id="([^"]+)">\s*<name>DEV</name>)re").match(QString::fromUtf8(tree));
    if (!dev.hasMatch())
        return;
    const QString pattern = "(<class ref=\"" + QRegularExpression::escape(dev.captured(1)) + "\"/>\\s*<name>"
                            + QRegularExpression::escape(provider)
                            + "</name>\\s*<rank>\\d+</rank>\\s*<consumer id=\"[^\"]+\">\\s*<geom ref=\"[^\"]+\"/>"
                              "\\s*<provider ref=\"[^\"]+\"/>\\s*<mode>)r\\d+w\\d+e\\d+(</mode>)";
    tree = QString::fromUtf8(tree).replace(QRegularExpression(pattern), "\\1" + mode + "\\2").toUtf8();
}

void set_mediasize(const QByteArray &provider, long long bytes)
{
    const QString pattern = "(<name>" + QRegularExpression::escape(provider) + "</name>\\s*<mediasize>)\\d+(</mediasize>)";
    tree = QString::fromUtf8(tree)
               .replace(QRegularExpression(pattern), "\\1" + QString::number(bytes) + "\\2")
               .toUtf8();
}

void fill(struct statfs *s, const QPair<QByteArray, QByteArray> &m)
{
    memset(s, 0, sizeof *s);
    strncpy(s->f_mntfromname, m.first.constData(), MNAMELEN - 1);
    strncpy(s->f_mntonname, m.second.constData(), MNAMELEN - 1);
    QByteArray type = "ufs";
    for (const auto &t : types)
        if (t.first == m.second)
            type = t.second;
    strncpy(s->f_fstypename, type.constData(), MFSNAMELEN - 1);
    for (const auto &owner : owners)
        if (owner.first == m.second)
            s->f_owner = owner.second;
    for (const auto &space : spaces)
        if (space.first == m.second) {
            s->f_bsize = space.second.block_size;
            s->f_blocks = space.second.blocks;
            s->f_bfree = space.second.free_blocks;
            s->f_bavail = space.second.available;
        }
}

// What libgeom builds from the dump: the tree, owning its storage.
struct Arena {
    std::deque<gclass> classes;
    std::deque<ggeom> geoms;
    std::deque<gconsumer> consumers;
    std::deque<gprovider> providers;
    std::deque<gconfig> configs;
    std::deque<std::string> strings;

    char *text(const QString &s)
    {
        strings.push_back(s.toStdString());
        return &strings.back()[0];
    }
};
std::map<gmesh *, std::unique_ptr<Arena>> arenas;

int trees_alive()
{
    return static_cast<int>(arenas.size());
}

bool build(gmesh *mesh, Arena *a)
{
    LIST_INIT(&mesh->lg_class);
    mesh->lg_ident = nullptr;
    std::map<QString, gprovider *> provider_by_id;
    std::vector<std::pair<gconsumer *, QString>> consumer_refs;
    gclass *cls = nullptr;
    ggeom *geom = nullptr;
    gconsumer *cons = nullptr;
    gprovider *prov = nullptr;
    gconf *config = nullptr; // inside a <config>: the list its entries go to
    QStringList open;        // the elements entered and not yet left

    QXmlStreamReader x(tree);
    while (!x.atEnd()) {
        x.readNext();
        if (x.isEndElement()) {
            const QString done = open.takeLast();
            if (done == "consumer")
                cons = nullptr;
            else if (done == "provider")
                prov = nullptr;
            else if (done == "geom")
                geom = nullptr;
            else if (done == "config")
                config = nullptr;
            continue;
        }
        if (!x.isStartElement())
            continue;
        const QString tag = x.name().toString();
        const QString id = x.attributes().value("id").toString();
        const QString ref = x.attributes().value("ref").toString();
        // Each entry of a <config> becomes one of the object's list,
        // inserted at its head as libgeom does.
        if (config != nullptr) {
            a->configs.emplace_back();
            gconfig *entry = &a->configs.back();
            memset(entry, 0, sizeof *entry);
            entry->lg_name = a->text(tag);
            entry->lg_val = a->text(x.readElementText(QXmlStreamReader::IncludeChildElements));
            LIST_INSERT_HEAD(config, entry, lg_config);
            continue;
        }
        if (tag == "config") {
            config = prov != nullptr   ? &prov->lg_config
                     : cons != nullptr ? &cons->lg_config
                     : geom != nullptr ? &geom->lg_config
                     : cls != nullptr  ? &cls->lg_config
                                       : nullptr;
            if (config == nullptr)
                x.skipCurrentElement();
            else
                open.append(tag);
            continue;
        }
        if (tag == "mediasize") {
            const QString value = x.readElementText();
            if (prov != nullptr)
                prov->lg_mediasize = value.toLongLong();
            continue;
        }
        if (tag == "name" || tag == "rank" || tag == "mode") {
            const QString value = x.readElementText();
            if (tag == "rank" && geom != nullptr)
                geom->lg_rank = value.toUInt();
            else if (tag == "mode")
                (prov != nullptr ? prov->lg_mode : cons->lg_mode) = a->text(value);
            else if (prov != nullptr)
                prov->lg_name = a->text(value);
            else if (geom != nullptr && cons == nullptr)
                geom->lg_name = a->text(value);
            else if (geom == nullptr && cls != nullptr)
                cls->lg_name = a->text(value);
            continue;
        }
        open.append(id.isEmpty() ? "ref" : tag);
        if (tag == "class" && !id.isEmpty()) {
            a->classes.emplace_back();
            cls = &a->classes.back();
            memset(cls, 0, sizeof *cls);
            LIST_INIT(&cls->lg_geom);
            LIST_INIT(&cls->lg_config);
            LIST_INSERT_HEAD(&mesh->lg_class, cls, lg_class);
        } else if (tag == "geom" && !id.isEmpty()) {
            a->geoms.emplace_back();
            geom = &a->geoms.back();
            memset(geom, 0, sizeof *geom);
            geom->lg_class = cls;
            LIST_INIT(&geom->lg_consumer);
            LIST_INIT(&geom->lg_provider);
            LIST_INIT(&geom->lg_config);
            LIST_INSERT_HEAD(&cls->lg_geom, geom, lg_geom);
        } else if (tag == "consumer") {
            a->consumers.emplace_back();
            cons = &a->consumers.back();
            memset(cons, 0, sizeof *cons);
            cons->lg_geom = geom;
            LIST_INIT(&cons->lg_config);
            LIST_INSERT_HEAD(&geom->lg_consumer, cons, lg_consumer);
        } else if (tag == "provider" && !id.isEmpty()) {
            a->providers.emplace_back();
            prov = &a->providers.back();
            memset(prov, 0, sizeof *prov);
            prov->lg_geom = geom;
            LIST_INIT(&prov->lg_consumers);
            LIST_INIT(&prov->lg_config);
            LIST_INSERT_HEAD(&geom->lg_provider, prov, lg_provider);
            provider_by_id[id] = prov;
        } else if (tag == "provider" && cons != nullptr) {
            consumer_refs.emplace_back(cons, ref);
        }
    }
    if (x.hasError())
        return false;
    for (auto &[c, r] : consumer_refs) {
        c->lg_provider = provider_by_id.at(r);
        LIST_INSERT_HEAD(&c->lg_provider->lg_consumers, c, lg_consumers);
    }
    return true;
}

} // namespace fake

// geom_getxml failing leaves the mesh as it was; geom_xml2tree failing on
// a broken dump leaves in it what it had built, linked from lg_class.
extern "C" int geom_gettree(struct gmesh *gmp)
{
    if (fake::tree.isEmpty())
        return ENXIO;
    auto arena = std::make_unique<fake::Arena>();
    const bool built = fake::build(gmp, arena.get());
    fake::arenas[gmp] = std::move(arena);
    return built ? 0 : EILSEQ;
}

extern "C" void geom_deletetree(struct gmesh *gmp)
{
    fake::arenas.erase(gmp);
}

extern "C" int getmntinfo(struct statfs **mntbufp, int)
{
    fake::table.clear();
    for (const auto &m : fake::mounts) {
        if (fake::unmounting.contains(m.second))
            continue;
        fake::table.emplace_back();
        fake::fill(&fake::table.back(), m);
    }
    *mntbufp = fake::table.data();
    return static_cast<int>(fake::table.size());
}

// The filesystem holding path: the newest mount on the longest folder above it.
extern "C" int statfs(const char *path, struct statfs *buf)
{
    const QByteArray p = path;
    int best = -1;
    for (int i = 0; i < fake::mounts.size(); ++i) {
        const QByteArray &on = fake::mounts[i].second;
        const bool holds = on == "/" || p == on || p.startsWith(on + '/');
        if (holds && (best < 0 || on.size() >= fake::mounts[best].second.size()))
            best = i;
    }
    if (best < 0) {
        errno = ENOENT;
        return -1;
    }
    fake::fill(buf, fake::mounts[best]);
    return 0;
}


// The kernel's records of processes and their files, from
// fake::processes, by its rules (fakes.h). Every array handed out is
// malloc(3)ed, as libutil's are, and counted until it is freed.
namespace {

std::set<void *> outstanding;

int number(const std::string &name, int fallback)
{
    const auto it = fake::numbers.find(name);
    return it == fake::numbers.end() ? fallback : it->second;
}

uid_t owner_of(const fake::FakeProcess &p)
{
    return p.owner >= 0 ? static_cast<uid_t>(p.owner) : p.visible ? fake::euid : 0;
}

uid_t starter_of(const fake::FakeProcess &p)
{
    return p.started_by >= 0 ? static_cast<uid_t>(p.started_by) : owner_of(p);
}

// In the list of processes: cr_seeotheruids and cr_seeothergids.
bool listed(const fake::FakeProcess &p)
{
    if (fake::euid == 0)
        return true;
    if (number("security.bsd.see_other_uids", 1) == 0 && starter_of(p) != fake::euid)
        return false;
    return number("security.bsd.see_other_gids", 1) != 0 || p.shares_group;
}

const fake::FakeProcess *find_listed(pid_t pid)
{
    for (const fake::FakeProcess &p : fake::processes)
        if (p.pid == pid && listed(p))
            return &p;
    return nullptr;
}

// Device numbers for the nodes processes hold, which devname_r names.
std::vector<std::string> &node_names()
{
    static std::vector<std::string> names;
    return names;
}

const dev_t first_node = 0x7f000000;

dev_t node_number(const QByteArray &name)
{
    std::vector<std::string> &names = node_names();
    const auto it = std::find(names.begin(), names.end(), name.toStdString());
    if (it != names.end())
        return first_node + static_cast<dev_t>(it - names.begin());
    names.push_back(name.toStdString());
    return first_node + static_cast<dev_t>(names.size() - 1);
}

void *handed_out(size_t size)
{
    void *p = calloc(size == 0 ? 1 : size, 1);
    outstanding.insert(p);
    return p;
}

} // namespace

int fake::arrays_outstanding()
{
    return static_cast<int>(outstanding.size());
}

// The tests' link wraps free(): whatever the code under test frees goes
// through here.
extern "C" void __real_free(void *p);
extern "C" void __wrap_free(void *p)
{
    outstanding.erase(p);
    __real_free(p);
}

extern "C" struct kinfo_proc *kinfo_getallproc(int *cntp)
{
    std::vector<const fake::FakeProcess *> shown;
    for (const fake::FakeProcess &p : fake::processes)
        if (listed(p))
            shown.push_back(&p);
    auto *procs = static_cast<kinfo_proc *>(handed_out(sizeof(kinfo_proc) * shown.size()));
    for (size_t i = 0; i < shown.size(); ++i) {
        kinfo_proc &kp = procs[i];
        kp.ki_structsize = sizeof kp;
        kp.ki_pid = static_cast<pid_t>(shown[i]->pid);
        kp.ki_uid = owner_of(*shown[i]);
        kp.ki_ruid = starter_of(*shown[i]);
        kp.ki_flag = shown[i]->changed_user ? P_SUGID : 0;
        strncpy(kp.ki_comm, shown[i]->command.constData(), COMMLEN);
    }
    *cntp = static_cast<int>(shown.size());
    return procs;
}

// p_candebug: root may look into any process; a user only into the user's
// own, unless it changed its user, and into none without
// security.bsd.unprivileged_proc_debug.
extern "C" struct kinfo_file *kinfo_getfile(pid_t pid, int *cntp)
{
    *cntp = 0;
    const fake::FakeProcess *p = find_listed(pid);
    if (p == nullptr) {
        errno = ESRCH;
        return nullptr;
    }
    if (fake::euid != 0
        && (number("security.bsd.unprivileged_proc_debug", 1) == 0 || owner_of(*p) != fake::euid
            || starter_of(*p) != fake::euid || p->changed_user)) {
        errno = EPERM;
        return nullptr;
    }
    if (p->hangs)
        for (;;)
            pause();
    const size_t n = static_cast<size_t>(p->files.size());
    auto *files = static_cast<kinfo_file *>(handed_out(sizeof(kinfo_file) * n));
    for (size_t i = 0; i < n; ++i) {
        const fake::FakeFile &f = p->files[static_cast<int>(i)];
        kinfo_file &kf = files[i];
        kf.kf_structsize = sizeof kf;
        kf.kf_type = KF_TYPE_VNODE;
        kf.kf_fd = f.working_dir ? KF_FD_TYPE_CWD : static_cast<int>(i) + 3;
        strncpy(kf.kf_path, f.path.constData(), sizeof kf.kf_path - 1);
        kf.kf_status = KF_ATTR_VALID;
        if (!f.device.isEmpty()) {
            kf.kf_vnode_type = KF_VTYPE_VCHR;
            kf.kf_un.kf_file.kf_file_rdev = node_number(f.device);
        } else {
            kf.kf_vnode_type = f.working_dir ? KF_VTYPE_VDIR : KF_VTYPE_VREG;
        }
    }
    *cntp = static_cast<int>(n);
    return files;
}

// kern.proc.args: p_cansee, which a listed process passes.
extern "C" int sysctl(const int *name, u_int namelen, void *oldp, size_t *oldlenp, const void *, size_t)
{
    if (namelen != 4 || name[0] != CTL_KERN || name[1] != KERN_PROC || name[2] != KERN_PROC_ARGS) {
        errno = ENOENT;
        return -1;
    }
    const fake::FakeProcess *p = find_listed(name[3]);
    if (p == nullptr) {
        errno = ESRCH;
        return -1;
    }
    QByteArray args = p->command + '\0';
    for (const QByteArray &a : p->args)
        args += a + '\0';
    const size_t size = static_cast<size_t>(args.size());
    if (oldp != nullptr && *oldlenp < size) {
        errno = ENOMEM;
        return -1;
    }
    if (oldp != nullptr)
        memcpy(oldp, args.constData(), size);
    *oldlenp = size;
    return 0;
}

// The GNU C library declares them noexcept, under their new names too.
#ifdef __GLIBC__
extern "C" uid_t geteuid(void) noexcept
#else
extern "C" uid_t geteuid(void)
#endif
{
    return fake::euid;
}

#ifdef __GLIBC__
extern "C" uid_t getuid(void) noexcept
#else
extern "C" uid_t getuid(void)
#endif
{
    return fake::euid;
}

extern "C" int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, const void *, size_t)
{
    if (strcmp(name, "vfs.usermount") == 0) {
        if (oldp != nullptr && *oldlenp < sizeof(int)) {
            errno = ENOMEM;
            return -1;
        }
        if (oldp != nullptr)
            memcpy(oldp, &fake::usermount, sizeof(int));
        *oldlenp = sizeof(int);
        return 0;
    }
    const auto numbered = fake::numbers.find(name);
    if (numbered != fake::numbers.end()) {
        if (oldp != nullptr && *oldlenp < sizeof(int)) {
            errno = ENOMEM;
            return -1;
        }
        if (oldp != nullptr)
            memcpy(oldp, &numbered->second, sizeof(int));
        *oldlenp = sizeof(int);
        return 0;
    }
    const auto it = fake::sysctls.find(name);
    if (it == fake::sysctls.end()) {
        errno = ENOENT;
        return -1;
    }
    const size_t len = it->second.size() + 1;
    if (oldp != nullptr && *oldlenp < len) {
        errno = ENOMEM;
        return -1;
    }
    if (oldp != nullptr)
        memcpy(oldp, it->second.c_str(), len);
    *oldlenp = len;
    return 0;
}

extern "C" char *devname_r(dev_t dev, mode_t type, char *buf, int len)
{
    const std::vector<std::string> &nodes = node_names();
    if (S_ISCHR(type) && dev >= first_node && dev - first_node < nodes.size()) {
        snprintf(buf, static_cast<size_t>(len), "%s", nodes[dev - first_node].c_str());
        return buf;
    }
    for (const auto &d : fake::devnames)
        if (S_ISCHR(type) && d.first == dev) {
            snprintf(buf, static_cast<size_t>(len), "%s", d.second.constData());
            return buf;
        }
    snprintf(buf, static_cast<size_t>(len), "#%c:%#jx", S_ISCHR(type) ? 'C' : 'B', static_cast<uintmax_t>(dev));
    return buf;
}
