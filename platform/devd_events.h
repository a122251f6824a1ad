#ifndef VORLIX_DEVD_EVENTS_H
#define VORLIX_DEVD_EVENTS_H

#include <string>
#include <vector>

// FreeBSD's device daemon, devd(8), passes every event the kernel reports
// on to whoever connects to its socket, which it makes for anyone to
// connect to (mode 0666): one event a record, a line such as
// "!system=GEOM subsystem=DEV type=CREATE cdev=da0s1". Of those, the
// events that say a device node came or went: devfs's own (system DEVFS,
// subsystem CDEV) and GEOM's for the nodes of its providers (system GEOM,
// subsystem DEV), with the node's name under /dev.
struct DevdEvent {
    enum Kind {
        created,       // type=CREATE: a new node
        destroyed,     // type=DESTROY: gone
        media_changed, // type=MEDIACHANGE: a disk whose medium was put in or taken out (a card reader's)
    };
    Kind kind = created;
    std::string name; // "da0s1", "msdosfs/STICK"
};

// One line of a record, with or without its newline. False for every
// other event, and for one that names no node.
bool parse_devd_record(const std::string &line, DevdEvent *event);

// Where devd listens for programs that read whole records.
extern const char devd_socket_path[];

// A connection to devd's socket, for programs that sleep on it with
// others (MountEvents::wait). Only FreeBSD has it: elsewhere connect()
// always fails, with ENOSYS.
class DevdEvents
{
public:
    explicit DevdEvents(const std::string &path = devd_socket_path) : path(path) {}
    ~DevdEvents();
    DevdEvents(const DevdEvents &) = delete;
    DevdEvents &operator=(const DevdEvents &) = delete;

    // Connects, without blocking reads and closed on exec. False with errno
    // set when it cannot: ENOENT or ECONNREFUSED without a devd to answer.
    bool connect();
    void close();

    // The connected socket to sleep on, or -1.
    int descriptor() const { return fd; }

    // Reads every record that has come and adds the events of note to
    // *events, in order; a record longer than devd ever sends is skipped
    // whole. False when devd has closed its end (it ended, or is being
    // restarted): the connection is closed then, and connect() may be
    // tried again.
    bool read(std::vector<DevdEvent> *events);

private:
    std::string path;
    int fd = -1;
};

#endif
