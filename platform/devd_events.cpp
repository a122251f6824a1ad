#include "platform/devd_events.h"

#include "platform/target.h"

#include <errno.h>
#include <unistd.h>

#include <map>

const char devd_socket_path[] = "/var/run/devd.seqpacket.pipe";

namespace {

// "key=value" pairs after the record's "!", apart by blanks; devd quotes a
// value that holds blanks ("key=\"a b\""), with \" and \\ inside.
std::map<std::string, std::string> fields_of(const std::string &text)
{
    std::map<std::string, std::string> fields;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        const size_t equals = text.find('=', i);
        const size_t blank = text.find(' ', i);
        if (equals == std::string::npos || (blank != std::string::npos && blank < equals)) {
            i = blank; // a word without a value
            continue;
        }
        const std::string key = text.substr(i, equals - i);
        std::string value;
        i = equals + 1;
        if (i < text.size() && text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                value += text[i];
            }
            ++i;
        } else {
            const size_t end = text.find(' ', i);
            value = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end;
        }
        fields.emplace(key, value);
    }
    return fields;
}

} // namespace

bool parse_devd_record(const std::string &line, DevdEvent *event)
{
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0'))
        text.pop_back();
    // "!" starts a notification; "+", "-" and "?" are drivers attaching,
    // detaching and finding no driver.
    if (text.empty() || text[0] != '!')
        return false;
    const std::map<std::string, std::string> fields = fields_of(text.substr(1));
    const auto field = [&fields](const char *key) {
        const auto it = fields.find(key);
        return it != fields.end() ? it->second : std::string();
    };
    const std::string system = field("system"), subsystem = field("subsystem"), type = field("type");
    if (!((system == "DEVFS" && subsystem == "CDEV") || (system == "GEOM" && subsystem == "DEV")))
        return false;
    if (type == "CREATE")
        event->kind = DevdEvent::created;
    else if (type == "DESTROY")
        event->kind = DevdEvent::destroyed;
    else if (type == "MEDIACHANGE")
        event->kind = DevdEvent::media_changed;
    else
        return false;
    event->name = field("cdev");
    return !event->name.empty();
}

DevdEvents::~DevdEvents()
{
    close();
}

void DevdEvents::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

#if VORLIX_ON_FREEBSD

#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

// devd reads at most this much of an event from the kernel.
const size_t longest_record = 8192;

} // namespace

bool DevdEvents::connect()
{
    close();
    sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    memcpy(address.sun_path, path.c_str(), path.size());
    // Each record is one event, read whole: no line is ever split between
    // two reads, as on devd's stream socket. Not blocking from the start: a
    // devd that has stopped taking connections only fails this one.
    const int s = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    if (s < 0)
        return false;
    if (fcntl(s, F_SETFD, FD_CLOEXEC) != 0 || fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK) != 0
        || ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        const int saved = errno;
        ::close(s);
        errno = saved;
        return false;
    }
    fd = s;
    return true;
}

bool DevdEvents::read(std::vector<DevdEvent> *events)
{
    if (fd < 0)
        return false;
    char buffer[longest_record + 1];
    for (;;) {
        iovec part = {buffer, sizeof buffer};
        msghdr message;
        memset(&message, 0, sizeof message);
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t n = recvmsg(fd, &message, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n <= 0) {
            close();
            return false;
        }
        if (message.msg_flags & MSG_TRUNC)
            continue;
        const std::string record(buffer, static_cast<size_t>(n));
        size_t start = 0;
        while (start < record.size()) {
            size_t end = record.find('\n', start);
            if (end == std::string::npos)
                end = record.size();
            DevdEvent event;
            if (parse_devd_record(record.substr(start, end - start), &event))
                events->push_back(event);
            start = end + 1;
        }
    }
}

#else // Linux has no devd.

bool DevdEvents::connect()
{
    errno = ENOSYS;
    return false;
}

bool DevdEvents::read(std::vector<DevdEvent> *)
{
    return false;
}

#endif
