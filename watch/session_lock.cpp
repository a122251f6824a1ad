#include "watch/session_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Long enough for any display's name; a file name stays well short of
// the system's limit.
const size_t max_display_length = 64;

// True when dir is a folder of this user's that no one else may write to.
// follow: whether dir may be a symbolic link to one.
bool private_folder(const std::string &dir, bool follow, std::string *why)
{
    struct stat st;
    if ((follow ? stat(dir.c_str(), &st) : lstat(dir.c_str(), &st)) != 0) {
        *why = strerror(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode))
        *why = "it is a symbolic link";
    else if (!S_ISDIR(st.st_mode))
        *why = "it is not a folder";
    else if (st.st_uid != geteuid())
        *why = "it belongs to another user";
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        *why = "others may write to it";
    else
        return true;
    return false;
}

// The folder of the user's own under parent, made where missing; "" with
// *why where it will not do.
std::string own_folder(const std::string &parent, std::string *why)
{
    const std::string dir = parent + "/vorlix-watch-" + std::to_string(static_cast<unsigned long>(geteuid()));
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *why = dir + ": " + strerror(errno);
        return "";
    }
    std::string problem;
    if (!private_folder(dir, false, &problem)) {
        *why = dir + ": " + problem + "; remove it";
        return "";
    }
    return dir;
}

// The number an agent holding the lock wrote into it, or 0.
long holder_of(int fd)
{
    char text[32] = "";
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return 0;
    text[n] = '\0';
    return strtol(text, nullptr, 10);
}

// "host:number.screen" as X reads it: every screen of one server is one
// session, and "", "unix" and "localhost" are this machine. Anything else
// stays as it is.
std::string x_display_name(const std::string &display)
{
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos)
        return display;
    std::string number = display.substr(colon + 1);
    const size_t dot = number.find('.');
    const std::string screen = dot == std::string::npos ? std::string() : number.substr(dot + 1);
    if (dot != std::string::npos) {
        if (screen.empty() || screen.find_first_not_of("0123456789") != std::string::npos)
            return display;
        number.erase(dot);
    }
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return display;
    number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
    std::string host = display.substr(0, colon);
    if (host == "unix" || host == "localhost")
        host.clear();
    return host + ':' + number;
}

// Fit to be part of a file's name.
std::string file_name_part(std::string name)
{
    if (name.size() > max_display_length)
        name.resize(max_display_length);
    for (char &c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
            || c == '-' || c == '_' || c == ':';
        if (!plain)
            c = '_';
    }
    // "." and ".." are names of folders, not of files.
    if (name.find_first_not_of('.') == std::string::npos)
        name.replace(0, std::string::npos, name.size(), '_');
    return name;
}

} // namespace

std::vector<std::string> session_displays(const char *wayland_display, const char *x_display,
                                          const char *runtime_dir)
{
    std::vector<std::string> names;
    if (x_display != nullptr && *x_display != '\0')
        names.push_back(file_name_part(x_display_name(x_display)));
    if (wayland_display != nullptr && *wayland_display != '\0') {
        std::string socket = wayland_display;
        if (socket[0] != '/' && runtime_dir != nullptr && runtime_dir[0] == '/')
            socket = std::string(runtime_dir) + '/' + socket;
        names.push_back(file_name_part(socket));
    }
    if (names.empty())
        names.push_back("none");
    return names;
}

SessionLock::~SessionLock()
{
    let_go();
}

void SessionLock::let_go()
{
    for (int fd : fds)
        close(fd);
    fds.clear();
    paths.clear();
}

SessionLock::Outcome SessionLock::take(const char *runtime_dir, const std::vector<std::string> &displays,
                                       std::string *message)
{
    let_go();
    std::vector<std::string> folders;
    std::string warning, why;
    const std::string own = own_folder(shared_parent, &why);
    if (!own.empty())
        folders.push_back(own);
    if (runtime_dir != nullptr && *runtime_dir == '/') {
        std::string problem;
        if (!private_folder(runtime_dir, true, &problem))
            warning = std::string("not using XDG_RUNTIME_DIR ") + runtime_dir + ": " + problem;
        else if (runtime_dir != own)
            folders.push_back(runtime_dir);
    }
    if (folders.empty()) {
        *message = "no safe folder for the lock of this session: " + why
            + (warning.empty() ? ", or set XDG_RUNTIME_DIR to a folder of your own" : "; " + warning);
        return failed;
    }
    if (!why.empty())
        warning = (warning.empty() ? "" : warning + "; ") + "not using " + why;

    // Every agent takes its locks in the same order, the shared folder's
    // first: of two that want the same, one always gets all it needs.
    for (const std::string &dir : folders) {
        for (const std::string &display : displays) {
            const std::string path = dir + "/vorlix-watch-" + display + ".lock";
            const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
            struct stat st;
            if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
                *message = path + (fd < 0 ? std::string(": ") + strerror(errno) : ": not a file of this user's");
                if (fd >= 0)
                    close(fd);
                let_go();
                return failed;
            }
            struct flock whole = {};
            whole.l_type = F_WRLCK;
            whole.l_whence = SEEK_SET;
            if (fcntl(fd, F_SETLK, &whole) != 0) {
                const int err = errno;
                if (err != EAGAIN && err != EACCES) {
                    *message = path + ": " + strerror(err);
                    close(fd);
                    let_go();
                    return failed;
                }
                const long pid = holder_of(fd);
                *message = "another vorlix-watch"
                    + (pid > 0 ? " (pid " + std::to_string(pid) + ")" : std::string())
                    + " already watches for this user on display " + display + "; this one ends";
                close(fd);
                let_go();
                return held;
            }
            fds.push_back(fd);
            paths.push_back(path);
        }
    }
    // What a crashed agent wrote is no longer true.
    for (size_t i = 0; i < fds.size(); ++i) {
        if (ftruncate(fds[i], 0) != 0) {
            *message = paths[i] + ": " + strerror(errno);
            let_go();
            return failed;
        }
    }
    *message = warning;
    return taken;
}

void SessionLock::mark_ready()
{
    char text[32];
    const int n = snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    for (int fd : fds)
        if (pwrite(fd, text, static_cast<size_t>(n), 0) != n) {
            // only a sign for whoever waits; the lock holds either way
        }
}
