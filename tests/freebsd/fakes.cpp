// Fakes of libgeom, getmntinfo, statfs and devname_r fed from the tables of
// fakes.h.
#include "fakes.h"

#include <libgeom.h>
#include <sys/param.h>
#include <sys/mount.h>
#include <sys/queue.h>
#include <sys/sysctl.h>
#include <sys/user.h>
#include <libprocstat.h>

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

#include <deque>
#include <map>
#include <memory>
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


// libprocstat, from fake::processes. Each list of files owns its entries.
namespace {
struct FakeFileList {
    filestat_list head;
    std::deque<filestat> entries;
    std::deque<std::string> paths;
    std::map<const filestat *, std::string> devices;
};
std::map<const filestat_list *, std::unique_ptr<FakeFileList>> file_lists;
int procstat_handle;
} // namespace

extern "C" struct procstat *procstat_open_sysctl(void)
{
    return reinterpret_cast<struct procstat *>(&procstat_handle);
}

extern "C" void procstat_close(struct procstat *)
{
}

extern "C" struct kinfo_proc *procstat_getprocs(struct procstat *, int, int, unsigned int *count)
{
    auto *procs = new kinfo_proc[static_cast<size_t>(fake::processes.size()) + 1];
    for (int i = 0; i < fake::processes.size(); ++i) {
        memset(&procs[i], 0, sizeof procs[i]);
        procs[i].ki_pid = static_cast<pid_t>(fake::processes[i].pid);
        // Ours, or another user's.
        procs[i].ki_uid = fake::processes[i].visible ? fake::euid : fake::euid + 1;
        strncpy(procs[i].ki_comm, fake::processes[i].command.constData(), COMMLEN);
    }
    *count = static_cast<unsigned int>(fake::processes.size());
    return procs;
}

extern "C" void procstat_freeprocs(struct procstat *, struct kinfo_proc *p)
{
    delete[] p;
}

extern "C" struct filestat_list *procstat_getfiles(struct procstat *, struct kinfo_proc *kp, int)
{
    for (const fake::FakeProcess &proc : fake::processes) {
        if (proc.pid != kp->ki_pid)
            continue;
        auto list = std::make_unique<FakeFileList>();
        STAILQ_INIT(&list->head);
        // Another user's process: the library gives an empty list.
        for (const fake::FakeFile &f : proc.visible ? proc.files : QList<fake::FakeFile>{}) {
            list->entries.emplace_back();
            filestat *fst = &list->entries.back();
            memset(fst, 0, sizeof *fst);
            fst->fs_type = PS_FST_TYPE_VNODE;
            fst->fs_uflags = f.working_dir ? PS_FST_UFLAG_CDIR : 0;
            list->paths.push_back(f.path.toStdString());
            fst->fs_path = &list->paths.back()[0];
            if (!f.device.isEmpty())
                list->devices[fst] = f.device.toStdString();
            STAILQ_INSERT_TAIL(&list->head, fst, next);
        }
        filestat_list *head = &list->head;
        file_lists[head] = std::move(list);
        return head;
    }
    return nullptr;
}

extern "C" void procstat_freefiles(struct procstat *, struct filestat_list *head)
{
    file_lists.erase(head);
}

extern "C" int procstat_get_vnode_info(struct procstat *, struct filestat *fst, struct vnstat *vn, char *)
{
    memset(vn, 0, sizeof *vn);
    for (const auto &[head, list] : file_lists) {
        const auto found = list->devices.find(fst);
        if (found == list->devices.end())
            continue;
        vn->vn_type = PS_FST_VTYPE_VCHR;
        strncpy(vn->vn_devname, found->second.c_str(), SPECNAMELEN);
        return 0;
    }
    vn->vn_type = PS_FST_VTYPE_VREG;
    return 0;
}

// The GNU C library declares it noexcept, under its new name too.
#ifdef __GLIBC__
extern "C" uid_t geteuid(void) noexcept
#else
extern "C" uid_t geteuid(void)
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
    for (const auto &d : fake::devnames)
        if (S_ISCHR(type) && d.first == dev) {
            snprintf(buf, static_cast<size_t>(len), "%s", d.second.constData());
            return buf;
        }
    snprintf(buf, static_cast<size_t>(len), "#%c:%#jx", S_ISCHR(type) ? 'C' : 'B', static_cast<uintmax_t>(dev));
    return buf;
}
