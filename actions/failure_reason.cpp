#include "actions/failure_reason.h"

#include "common/format_text.h"
#include "common/message_box.h"
#include "common/texts.h"
#include "platform/device_holders.h"
#include "platform/disk_devices.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <vector>

namespace {

void describe(const Holder &h, char *line, size_t size)
{
    const char *device = h.device.c_str();
    switch (h.kind) {
    case Holder::mounted_on:
        format_text(line, size, tx(Text::held_mounted_on), device, h.what.c_str());
        break;
    case Holder::other_namespace:
        format_text(line, size, tx(Text::held_other_namespace), device);
        break;
    case Holder::program:
        format_text(line, size, tx(Text::held_by_program), device, h.what.c_str(), static_cast<int>(h.pid));
        break;
    case Holder::built_on:
        format_text(line, size, tx(Text::held_by_device), device, h.what.c_str());
        break;
    case Holder::geom_class:
        format_text(line, size, tx(Text::held_by_geom), device, h.what.c_str());
        break;
    case Holder::through_node:
        format_text(line, size, tx(Text::held_through_node), device);
        break;
    case Holder::claimed:
        format_text(line, size, tx(Text::held_by_system), device);
        break;
    case Holder::gone:
        format_text(line, size, tx(Text::disk_changed), device);
        break;
    case Holder::silent:
        format_text(line, size, tx(Text::not_responding), h.what.c_str());
        break;
    case Holder::unlisted:
        format_text(line, size, tx(Text::holders_not_listed), device);
        break;
    case Holder::hidden:
        format_text(line, size, tx(Text::holders_hidden), device, h.what.c_str());
        break;
    case Holder::not_permitted:
        format_text(line, size, tx(Text::unmount_needs_owner), h.what.c_str());
        break;
    }
}

} // namespace

void tell_what_holds(const DeviceSet &set, const char *folder)
{
    const std::vector<Holder> why = why_still_held(set, folder, getuid());
    if (why.empty())
        return;
    // One box: what holds it, then, where it applies, the missing right.
    char text[1025] = "";
    for (const Holder &h : why) {
        char line[1025];
        describe(h, line, sizeof line);
        const size_t used = strlen(text);
        snprintf(text + used, sizeof text - used, "%s", line);
    }
    message_box(text);
}

void tell_not_responding(const char *what)
{
    char line[1025];
    format_text(line, sizeof line, tx(Text::not_responding), what);
    message_box(line);
}
