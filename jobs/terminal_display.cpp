#include "jobs/terminal_display.h"

#include "common/message_box.h"
#include "common/texts.h"

#include <stdlib.h>

static bool is_set(const char *name)
{
    const char *value = getenv(name);
    return value != nullptr && *value != '\0';
}

bool terminal_display_missing()
{
    if (!is_set("WAYLAND_DISPLAY") || is_set("DISPLAY"))
        return false;
    message_box(tx(Text::no_terminal_display));
    return true;
}
