#include "platform/process_files.h"

#include "platform/first_line.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include <sys/param.h>
#include <sys/queue.h>
#include <sys/sysctl.h>
#include <sys/user.h>
#include <libprocstat.h>
#include <limits.h>
#include <unistd.h>

bool list_open_files(std::vector<OpenFile> *files, bool *complete)
{
    files->clear();
    *complete = true;
    struct procstat *ps = procstat_open_sysctl();
    if (ps == nullptr)
        return false;
    unsigned int count = 0;
    struct kinfo_proc *procs = procstat_getprocs(ps, KERN_PROC_PROC, 0, &count);
    if (procs == nullptr) {
        procstat_close(ps);
        return false;
    }
    const pid_t self = getpid();
    const uid_t me = geteuid();
    for (unsigned int i = 0; i < count; ++i) {
        struct kinfo_proc *kp = &procs[i];
        if (kp->ki_pid == self)
            continue;
        // Another user's process, as a user: its files are not ours to see,
        // and the library hands back an empty list for it, not a failure.
        if (me != 0 && kp->ki_uid != me) {
            *complete = false;
            continue;
        }
        struct filestat_list *list = procstat_getfiles(ps, kp, 0);
        if (list == nullptr) {
            *complete = false;
            continue;
        }
        struct filestat *fst;
        STAILQ_FOREACH(fst, list, next) {
            if (fst->fs_type != PS_FST_TYPE_VNODE)
                continue;
            OpenFile f;
            f.pid = kp->ki_pid;
            f.command = kp->ki_comm;
            f.path = fst->fs_path != nullptr ? fst->fs_path : "";
            f.working_dir = (fst->fs_uflags & (PS_FST_UFLAG_CDIR | PS_FST_UFLAG_RDIR)) != 0;
            struct vnstat vn;
            char err[_POSIX2_LINE_MAX];
            if (procstat_get_vnode_info(ps, fst, &vn, err) == 0
                && (vn.vn_type == PS_FST_VTYPE_VCHR || vn.vn_type == PS_FST_VTYPE_VBLK)) {
                f.device = true;
                f.device_name = vn.vn_devname;
            }
            files->push_back(f);
        }
        procstat_freefiles(ps, list);
    }
    procstat_freeprocs(ps, procs);
    procstat_close(ps);
    return true;
}

#else // Linux: /proc/<pid>/fd and cwd, read as links, never followed into a filesystem.

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool read_link(const std::string &path, std::string *target)
{
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    if (n < 0)
        return false;
    target->assign(buf, static_cast<size_t>(n));
    return true;
}

bool is_number(const char *s)
{
    if (*s == '\0')
        return false;
    for (; *s != '\0'; ++s)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

} // namespace

bool list_open_files(std::vector<OpenFile> *files, bool *complete)
{
    files->clear();
    *complete = true;
    DIR *procs = opendir("/proc");
    if (procs == nullptr)
        return false;
    const long self = static_cast<long>(getpid());
    while (const dirent *p = readdir(procs)) {
        if (!is_number(p->d_name) || atol(p->d_name) == self)
            continue;
        const std::string proc = std::string("/proc/") + p->d_name;
        OpenFile base;
        base.pid = atol(p->d_name);
        base.command = first_line(proc + "/comm");

        OpenFile cwd = base;
        cwd.working_dir = true;
        if (read_link(proc + "/cwd", &cwd.path))
            files->push_back(cwd);

        DIR *fds = opendir((proc + "/fd").c_str());
        if (fds == nullptr) {
            if (errno != ENOENT) // gone meanwhile: nothing was missed
                *complete = false;
            continue;
        }
        while (const dirent *d = readdir(fds)) {
            if (!is_number(d->d_name))
                continue;
            OpenFile f = base;
            if (!read_link(proc + "/fd/" + d->d_name, &f.path) || f.path.empty() || f.path[0] != '/')
                continue;
            // Device nodes live on devtmpfs, which always answers; nothing
            // else is looked at, as its filesystem may not.
            struct stat st;
            if (f.path.compare(0, 5, "/dev/") == 0 && stat(f.path.c_str(), &st) == 0
                && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))) {
                f.device = true;
                f.rdev = st.st_rdev;
                f.device_name = f.path.substr(5);
            }
            files->push_back(f);
        }
        closedir(fds);
    }
    closedir(procs);
    return true;
}

#endif
