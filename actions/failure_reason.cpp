#include "actions/failure_reason.h"

#include "common/disk_names.h"
#include "common/format_text.h"
#include "common/message_box.h"
#include "common/texts.h"
#include "platform/device_holders.h"
#include "platform/disk_devices.h"
#include "platform/unmount_rights.h"

#include <unistd.h>

void tell_what_holds(const DeviceSet &set, const char *folder)
{
    const std::vector<Holder> holders = device_holders(set);
    char line[1025];
    if (holders.empty()) {
        if (folder == nullptr || !unmount_denied(folder, getuid()))
            return;
        format_text(line, sizeof line, tx(Text::unmount_needs_owner), folder);
        message_box(line);
        return;
    }
    // Of the folders it is still mounted on, the one the helper just failed
    // on: the user saw that one.
    const Holder *first = &holders.front();
    for (const Holder &h : holders)
        if (first->kind == Holder::mounted_on && h.kind == Holder::mounted_on && folder != nullptr
            && h.what == collapse_path(folder)) {
            first = &h;
            break;
        }
    const Holder &h = *first;
    const char *device = h.device.c_str();
    switch (h.kind) {
    case Holder::mounted_on:
        format_text(line, sizeof line, tx(Text::held_mounted_on), device, h.what.c_str());
        break;
    case Holder::other_namespace:
        format_text(line, sizeof line, tx(Text::held_other_namespace), device);
        break;
    case Holder::program:
        format_text(line, sizeof line, tx(Text::held_by_program), device, h.what.c_str(), static_cast<int>(h.pid));
        break;
    case Holder::built_on:
        format_text(line, sizeof line, tx(Text::held_by_device), device, h.what.c_str());
        break;
    case Holder::geom_class:
        format_text(line, sizeof line, tx(Text::held_by_geom), device, h.what.c_str());
        break;
    case Holder::through_node:
        format_text(line, sizeof line, tx(Text::held_through_node), device);
        break;
    case Holder::claimed:
        format_text(line, sizeof line, tx(Text::held_by_system), device);
        break;
    case Holder::gone:
        format_text(line, sizeof line, tx(Text::disk_changed), device);
        break;
    case Holder::silent:
        format_text(line, sizeof line, tx(Text::not_responding), h.what.c_str());
        break;
    }
    message_box(line);
}

void tell_not_responding(const char *what)
{
    char line[1025];
    format_text(line, sizeof line, tx(Text::not_responding), what);
    message_box(line);
}
