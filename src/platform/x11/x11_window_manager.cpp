#include "platform/x11/x11_window_manager.h"

#include <X11/Xlib.h>

namespace platform::x11 {

bool windowManagerRunning(Display* display) {
    const Atom selection = XInternAtom(display, "WM_S0", False);
    return XGetSelectionOwner(display, selection) != None;
}

}  // namespace platform::x11
