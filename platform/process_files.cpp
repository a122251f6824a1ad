#include "platform/process_files.h"

#include "platform/first_line.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

#include "platform/fs_probe.h"

#include <sys/param.h>
#include <sys/sysctl.h>
#include <sys/user.h>
#include <errno.h>
#include <libutil.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <memory>

namespace {

// kinfo_getallproc(3) and kinfo_getfile(3) each hand back one malloc(3)ed
// array, which is the caller's to free.
struct FreeArray {
    void operator()(void *p) const { free(p); }
};
template <typename T>
using Array = std::unique_ptr<T, FreeArray>;

int int_setting(const char *name, int fallback)
{
    int value = 0;
    size_t size = sizeof value;
    if (sysctlbyname(name, &value, &size, nullptr, 0) != 0 || size != sizeof value)
        return fallback;
    return value;
}

// The settings that hide programs from a user other than root
// (sys/kern/kern_prot.c): see_other_uids=0 leaves every program of another
// real user out of the list of processes, see_other_gids=0 every one that
// shares no group with us, and unprivileged_proc_debug=0 shows no program's
// files at all, not even our own.
std::string hiding_settings()
{
    std::string found;
    for (const char *name : {"security.bsd.see_other_uids", "security.bsd.see_other_gids",
                             "security.bsd.unprivileged_proc_debug"}) {
        if (int_setting(name, 1) != 0)
            continue;
        if (!found.empty())
            found += ", ";
        found += std::string(name) + "=0";
    }
    return found;
}

// kern.proc.args: the argument vector, each string ending in NUL. Anyone
// who may see the process may read it; the program may have changed it.
bool program_args(pid_t pid, std::vector<std::string> *args)
{
    int mib[4] = {CTL_KERN, KERN_PROC, KERN_PROC_ARGS, static_cast<int>(pid)};
    size_t size = 0;
    if (sysctl(mib, 4, nullptr, &size, nullptr, 0) != 0)
        return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<char> buf(size + 256); // it may have grown meanwhile
        size_t got = buf.size();
        if (sysctl(mib, 4, buf.data(), &got, nullptr, 0) == 0) {
            args->clear();
            size_t from = 0;
            for (size_t i = 0; i < got; ++i)
                if (buf[i] == '\0') {
                    args->emplace_back(buf.data() + from, i - from);
                    from = i + 1;
                }
            if (from < got)
                args->emplace_back(buf.data() + from, got - from);
            return true;
        }
        if (errno != ENOMEM)
            return false;
        size = buf.size() * 2;
    }
    return false;
}

// The kernel's record of one open file, as far as it names it: no
// filesystem is asked anything here.
bool file_of(const kinfo_file &kf, long pid, const std::string &command, OpenFile *f)
{
    if (kf.kf_type != KF_TYPE_VNODE && kf.kf_type != KF_TYPE_FIFO)
        return false;
    f->pid = pid;
    f->command = command;
    f->path.assign(kf.kf_path, strnlen(kf.kf_path, sizeof kf.kf_path));
    f->working_dir = kf.kf_fd == KF_FD_TYPE_CWD || kf.kf_fd == KF_FD_TYPE_ROOT || kf.kf_fd == KF_FD_TYPE_JAIL;
    const int type = kf.kf_vnode_type;
    if (type != KF_VTYPE_VCHR && type != KF_VTYPE_VBLK)
        return true;
    f->device = true;
    char buf[256];
    const char *name = nullptr;
    if (kf.kf_status & KF_ATTR_VALID)
        name = devname_r(static_cast<dev_t>(kf.kf_un.kf_file.kf_file_rdev),
                         type == KF_VTYPE_VCHR ? S_IFCHR : S_IFBLK, buf, sizeof buf);
    // A number devfs cannot name comes back as "#C:0x...".
    if (name != nullptr && name[0] != '\0' && name[0] != '#')
        f->device_name = name;
    else if (f->path.compare(0, 5, "/dev/") == 0)
        f->device_name = f->path.substr(5);
    return true;
}

// The answer crosses from the child that asked as text: each field its
// length, a colon and its bytes.
void put(std::string *out, const std::string &field)
{
    *out += std::to_string(field.size());
    *out += ':';
    *out += field;
}

void put(std::string *out, long long number)
{
    put(out, std::to_string(number));
}

class Fields
{
public:
    explicit Fields(const std::string &text, size_t from) : text(text), at(from) {}

    bool good() const { return ok; }

    std::string next()
    {
        const size_t colon = ok ? text.find(':', at) : std::string::npos;
        if (colon == std::string::npos || colon == at || colon - at > 12) {
            ok = false;
            return std::string();
        }
        size_t size = 0;
        for (size_t i = at; i < colon; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                ok = false;
                return std::string();
            }
            size = size * 10 + static_cast<size_t>(text[i] - '0');
        }
        if (size > text.size() - colon - 1) {
            ok = false;
            return std::string();
        }
        at = colon + 1 + size;
        return text.substr(colon + 1, size);
    }

    long long number()
    {
        const std::string s = next();
        char *end = nullptr;
        const long long n = strtoll(s.c_str(), &end, 10);
        if (s.empty() || *end != '\0')
            ok = false;
        return n;
    }

    bool done() const { return ok && at == text.size(); }

private:
    const std::string &text;
    size_t at;
    bool ok = true;
};

// In the child that asks: the whole listing, serialised; "-" and errno
// when there is none.
std::string listing(pid_t asker)
{
    const pid_t self = getpid();
    int count = 0;
    Array<kinfo_proc> procs(kinfo_getallproc(&count));
    if (!procs)
        return "-" + std::to_string(errno);
    const bool root = geteuid() == 0;
    const std::string hidden = root ? std::string() : hiding_settings();
    bool complete = hidden.empty();
    std::string body;
    long long listed = 0;
    for (int i = 0; i < count; ++i) {
        const kinfo_proc &kp = procs.get()[i];
        if (kp.ki_pid == self || kp.ki_pid == asker)
            continue;
        ++listed;
        const std::string command(kp.ki_comm, strnlen(kp.ki_comm, sizeof kp.ki_comm));
        std::vector<std::string> args;
        const bool args_known = program_args(kp.ki_pid, &args);
        put(&body, kp.ki_pid);
        put(&body, kp.ki_uid);
        put(&body, kp.ki_ruid);
        put(&body, command);
        put(&body, args_known ? 1 : 0);
        put(&body, static_cast<long long>(args.size()));
        for (const std::string &a : args)
            put(&body, a);
        // Only root may look into a program that changed its user since it
        // was started (p_candebug), and into another user's. P_SUGID comes
        // with <sys/user.h>, through <sys/proc.h>; without it the kernel's
        // refusal below tells the same.
        bool changed_user = false;
#ifdef P_SUGID
        changed_user = (kp.ki_flag & P_SUGID) != 0;
#endif
        std::vector<OpenFile> files;
        bool files_known = false;
        if (!changed_user || root) {
            int n = 0;
            Array<kinfo_file> kf;
            for (int attempt = 0; attempt < 3 && !kf; ++attempt) {
                errno = 0;
                kf.reset(kinfo_getfile(kp.ki_pid, &n));
                if (!kf && errno != ENOMEM)
                    break;
            }
            // Gone meanwhile: nothing was missed. None open: an empty list.
            files_known = kf != nullptr || errno == 0;
            if (!files_known && errno != ESRCH)
                complete = false;
            for (int k = 0; kf && k < n; ++k) {
                OpenFile f;
                if (file_of(kf.get()[k], kp.ki_pid, command, &f))
                    files.push_back(f);
            }
        } else {
            complete = false;
        }
        put(&body, files_known ? 1 : 0);
        put(&body, static_cast<long long>(files.size()));
        for (const OpenFile &f : files) {
            put(&body, f.path);
            put(&body, f.working_dir ? 1 : 0);
            put(&body, f.device ? 1 : 0);
            put(&body, f.device_name);
        }
    }
    std::string answer = "+";
    put(&answer, complete ? 1 : 0);
    put(&answer, hidden);
    put(&answer, listed);
    return answer + body;
}

bool read_listing(const std::string &answer, ProcessView *view)
{
    Fields in(answer, 1);
    view->complete = in.number() != 0;
    view->hidden_by = in.next();
    const long long count = in.number();
    for (long long i = 0; in.good() && i < count; ++i) {
        ProcessInfo p;
        p.pid = static_cast<long>(in.number());
        p.uid = static_cast<uid_t>(in.number());
        p.ruid = static_cast<uid_t>(in.number());
        p.command = in.next();
        p.args_known = in.number() != 0;
        const long long args = in.number();
        for (long long a = 0; in.good() && a < args; ++a)
            p.args.push_back(in.next());
        p.files_known = in.number() != 0;
        const long long files = in.number();
        for (long long k = 0; in.good() && k < files; ++k) {
            OpenFile f;
            f.pid = p.pid;
            f.command = p.command;
            f.path = in.next();
            f.working_dir = in.number() != 0;
            f.device = in.number() != 0;
            f.device_name = in.next();
            view->files.push_back(f);
        }
        view->processes.push_back(p);
    }
    return in.done();
}

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A listing given up on is not asked again for as long as it was waited
// for: the file that stopped it will not answer the next time either, and
// one decision may ask many times.
long long silent_until = 0;

} // namespace

bool list_open_files(ProcessView *view)
{
    *view = ProcessView();
    const long long asked = now_ms();
    if (asked < silent_until) {
        errno = ETIMEDOUT;
        return false;
    }
    const pid_t me = getpid();
    std::string answer;
    if (!probe([me] { return listing(me); }, &answer)) {
        const int err = errno;
        if (err == ETIMEDOUT) {
            const long long now = now_ms();
            silent_until = now + (now - asked);
        }
        errno = err;
        return false;
    }
    if (!answer.empty() && answer[0] == '-') {
        errno = atoi(answer.c_str() + 1);
        if (errno == 0)
            errno = EIO;
        return false;
    }
    if (answer.empty() || answer[0] != '+' || !read_listing(answer, view)) {
        *view = ProcessView();
        errno = EIO;
        return false;
    }
    return true;
}

#else // Linux: /proc/<pid>/fd and cwd, read as links, never followed into a filesystem.

#include "platform/device_node.h"

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

bool list_open_files(ProcessView *view)
{
    *view = ProcessView();
    std::vector<OpenFile> *files = &view->files;
    bool *complete = &view->complete;
    DIR *procs = opendir("/proc");
    if (procs == nullptr)
        return false;
    const long self = static_cast<long>(getpid());
    const DevfsFolder dev;
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
            // The link is only a name: that of an unlinked file reads
            // "/dev/shm/f (deleted)", which anyone may have made a link
            // into a filesystem that never answers. So a device node is
            // looked up in devtmpfs alone (device_node.h), and nothing
            // else is looked at.
            struct stat st;
            if (dev.node(f.path, &st)) {
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
