// Prints what the X server shows as the pointer right now, as
// "<width>x<height>+<hot x>+<hot y> <hash of the pixels>": two shapes
// compare equal only if they look the same. For the real-display tests.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <stdint.h>
#include <stdio.h>

int main()
{
    Display *display = XOpenDisplay(nullptr);
    int event_base = 0, error_base = 0;
    if (display == nullptr || !XFixesQueryExtension(display, &event_base, &error_base))
        return 1;
    XFixesCursorImage *image = XFixesGetCursorImage(display);
    if (image == nullptr)
        return 1;
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < image->width * image->height; ++i) {
        hash ^= static_cast<uint32_t>(image->pixels[i]);
        hash *= 1099511628211ull;
    }
    printf("%dx%d+%d+%d %016llx\n", image->width, image->height, image->xhot, image->yhot,
           static_cast<unsigned long long>(hash));
    XFree(image);
    XCloseDisplay(display);
    return 0;
}
