#include "watch/session_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string tmp_fallback()
{
    return "/tmp/vorlix-watch-" + std::to_string(static_cast<unsigned long>(geteuid()));
}

// The folder for the lock, made where it is the fallback; "" with *why.
std::string lock_folder(const char *runtime_dir, std::string *warning, std::string *why)
{
    if (runtime_dir != nullptr && *runtime_dir == '/') {
        std::string problem;
        if (private_folder(runtime_dir, true, &problem))
            return runtime_dir;
        *warning = std::string("not using XDG_RUNTIME_DIR ") + runtime_dir + ": " + problem;
    }
    const std::string dir = tmp_fallback();
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *why = dir + ": " + strerror(errno);
        return "";
    }
    std::string problem;
    if (!private_folder(dir, false, &problem)) {
        *why = dir + ": " + problem + "; remove it, or set XDG_RUNTIME_DIR to a folder of your own";
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

} // namespace

std::string session_display(const char *wayland_display, const char *x_display)
{
    std::string display;
    if (wayland_display != nullptr && *wayland_display != '\0') {
        display = wayland_display;
    } else if (x_display != nullptr && *x_display != '\0') {
        display = x_display;
        // host:display.screen: every screen of one server is one session.
        const size_t colon = display.rfind(':');
        const size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
        if (colon != std::string::npos && dot != std::string::npos && dot > colon + 1
            && display.find_first_not_of("0123456789", colon + 1) == dot
            && display.find_first_not_of("0123456789", dot + 1) == std::string::npos)
            display.erase(dot);
    } else {
        return "none";
    }
    if (display.size() > max_display_length)
        display.resize(max_display_length);
    for (char &c : display) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '.' || c == '-' || c == '_' || c == ':';
        if (!plain)
            c = '_';
    }
    // "." and ".." are names of folders, not of files.
    if (display.find_first_not_of('.') == std::string::npos)
        display.replace(0, std::string::npos, display.size(), '_');
    return display;
}

SessionLock::~SessionLock()
{
    if (fd >= 0)
        close(fd);
}

SessionLock::Outcome SessionLock::take(const char *runtime_dir, const std::string &display,
                                       std::string *message)
{
    std::string warning, why;
    const std::string dir = lock_folder(runtime_dir, &warning, &why);
    if (dir.empty()) {
        *message = "no safe folder for the lock of this session: " + why;
        return failed;
    }
    path = dir + "/vorlix-watch-" + display + ".lock";
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        *message = path + (fd < 0 ? std::string(": ") + strerror(errno) : ": not a file of this user's");
        return failed;
    }
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &whole) != 0) {
        if (errno != EAGAIN && errno != EACCES) {
            *message = path + ": " + strerror(errno);
            return failed;
        }
        const long pid = holder_of(fd);
        *message = "another vorlix-watch" + (pid > 0 ? " (pid " + std::to_string(pid) + ")" : std::string())
            + " already watches for this user on display " + display + "; this one ends";
        close(fd);
        fd = -1;
        return held;
    }
    // What a crashed agent wrote is no longer true.
    if (ftruncate(fd, 0) != 0) {
        *message = path + ": " + strerror(errno);
        return failed;
    }
    *message = warning;
    return taken;
}

void SessionLock::mark_ready()
{
    if (fd < 0)
        return;
    char text[32];
    const int n = snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    if (pwrite(fd, text, static_cast<size_t>(n), 0) != n)
        return; // only a sign for whoever waits; the lock holds either way
}
