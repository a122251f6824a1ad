#include "jobs/window_disk.h"

#include "platform/disk_devices.h"

namespace {

std::string &taken()
{
    static std::string identity;
    return identity;
}

} // namespace

void take_window_disk(const char *device)
{
    taken() = disk_identity(disk_devices(device));
}

bool is_window_disk(const DeviceSet &disk)
{
    return !taken().empty() && disk_identity(disk) == taken();
}
