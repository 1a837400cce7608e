#include "backends/x11/wayland_desktop.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace backends::x11 {

bool onWaylandDesktop(Display* display) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return true;
    int opcode = 0, event = 0, error = 0;
    return XQueryExtension(display, "XWAYLAND", &opcode, &event, &error);
}

}  // namespace backends::x11
