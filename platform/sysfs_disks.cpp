#include "platform/sysfs_disks.h"

#include "platform/first_line.h"

#include "platform/target.h"

#if VORLIX_ON_FREEBSD

// FreeBSD has no sysfs; its disks are known through GEOM (geom_disks.h).
bool sysfs_disk_of(dev_t, const std::string &, SysfsDisk *)
{
    return false;
}

std::vector<std::string> sysfs_holders_of(dev_t, const std::string &)
{
    return {};
}

std::string sysfs_disk_identity(dev_t, const std::string &)
{
    return std::string();
}

#else

#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>

namespace {

// Stacks of devices are shallow; the bound only stops a looping tree.
const int max_depth = 16;

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool real_path(const std::string &path, std::string *out)
{
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr)
        return false;
    *out = buf;
    return true;
}

std::vector<std::string> entries(const std::string &dir)
{
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The "dev" file: "8:17".
bool read_number(const std::string &dir, dev_t *dev)
{
    FILE *f = fopen((dir + "/dev").c_str(), "r");
    if (f == nullptr)
        return false;
    unsigned maj = 0, min = 0;
    const bool ok = fscanf(f, "%u:%u", &maj, &min) == 2;
    fclose(f);
    if (ok)
        *dev = makedev(maj, min);
    return ok;
}

// The node's name under /dev, from uevent's DEVNAME, else the folder's.
std::string device_name(const std::string &dir)
{
    std::string name = dir.substr(dir.rfind('/') + 1);
    if (FILE *f = fopen((dir + "/uevent").c_str(), "r")) {
        char line[512];
        while (fgets(line, sizeof line, f) != nullptr) {
            if (strncmp(line, "DEVNAME=", 8) == 0) {
                line[strcspn(line, "\n")] = '\0';
                if (line[8] != '\0')
                    name = line + 8;
                break;
            }
        }
        fclose(f);
    }
    return name;
}

// "/dev/block/8:17", under the sysfs root.
std::string block_dir(dev_t dev)
{
    char number[64];
    snprintf(number, sizeof number, "/dev/block/%u:%u", static_cast<unsigned>(major(dev)),
             static_cast<unsigned>(minor(dev)));
    return number;
}

void add_member(const std::string &dir, std::vector<dev_t> *members)
{
    dev_t dev;
    if (read_number(dir, &dev) && std::find(members->begin(), members->end(), dev) == members->end())
        members->push_back(dev);
}

// dir and every device built on it, however high the stack.
void add_with_holders(const std::string &dir, std::vector<dev_t> *members, int depth)
{
    add_member(dir, members);
    if (depth >= max_depth)
        return;
    for (const std::string &h : entries(dir + "/holders")) {
        std::string holder;
        if (real_path(dir + "/holders/" + h, &holder))
            add_with_holders(holder, members, depth + 1);
    }
}

} // namespace

bool sysfs_disk_of(dev_t dev, const std::string &root, SysfsDisk *disk)
{
    std::string dir;
    if (!real_path(root + block_dir(dev), &dir))
        return false;

    // Down through what dev is built on, to a disk or a partition of one.
    for (int depth = 0;; ++depth) {
        if (exists(dir + "/partition")) {
            dir = dir.substr(0, dir.rfind('/'));
            break;
        }
        const std::vector<std::string> below = entries(dir + "/slaves");
        if (below.empty() || depth >= max_depth)
            break;
        if (below.size() > 1)
            break; // built on several: no single disk lies beneath
        std::string next;
        if (!real_path(dir + "/slaves/" + below.front(), &next))
            break;
        dir = next;
    }

    disk->name = device_name(dir);
    disk->dir = dir;
    disk->members.clear();
    disk->unwritable = entries(dir + "/slaves").size() > 1 ? disk->name : std::string();
    add_with_holders(dir, &disk->members, 0);
    for (const std::string &e : entries(dir))
        if (exists(dir + '/' + e + "/partition"))
            add_with_holders(dir + '/' + e, &disk->members, 0);
    return !disk->members.empty();
}

std::vector<std::string> sysfs_holders_of(dev_t dev, const std::string &root)
{
    std::vector<std::string> names;
    std::string dir;
    if (!real_path(root + block_dir(dev), &dir))
        return names;
    for (const std::string &h : entries(dir + "/holders")) {
        std::string holder;
        if (real_path(dir + "/holders/" + h, &holder))
            names.push_back(device_name(holder));
    }
    return names;
}

std::string sysfs_disk_identity(dev_t dev, const std::string &root)
{
    std::string dir;
    if (!real_path(root + block_dir(dev), &dir))
        return std::string();
    std::string id = "size=" + first_line(dir + "/size");
    // A number the kernel gives each disk it attaches, never twice while it
    // runs (Linux 5.15 on; older kernels have no such file): a loop device
    // given another image, a stick without a serial number plugged in
    // again, is another disk.
    const std::string seq = first_line(dir + "/diskseq");
    if (!seq.empty())
        id += " diskseq=" + seq;
    for (const char *name : {"/device/wwid", "/wwid", "/device/serial", "/serial"}) {
        const std::string value = first_line(dir + name);
        if (!value.empty()) {
            id += std::string(" ") + (name + 1) + "=" + value;
            break;
        }
    }
    // A USB stick's serial number is its USB device's, further up: the
    // nearest folder above that is one (it has an idVendor).
    std::string devices;
    if (!real_path(root + "/devices", &devices))
        return id;
    for (std::string up = dir.substr(0, dir.rfind('/'));
         up.size() > devices.size() && up.compare(0, devices.size() + 1, devices + "/") == 0;
         up = up.substr(0, up.rfind('/'))) {
        if (!exists(up + "/idVendor"))
            continue;
        const std::string serial = first_line(up + "/serial");
        if (!serial.empty())
            id += " usb_serial=" + serial;
        break;
    }
    return id;
}

#endif
