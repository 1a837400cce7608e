#include "backends/x11/x11_window_manager.h"

#include <X11/Xlib.h>

namespace backends::x11 {

bool windowManagerRunning(Display* display) {
    const Atom selection = XInternAtom(display, "WM_S0", False);
    return XGetSelectionOwner(display, selection) != None;
}

void raiseWindow(Display* display, unsigned long window) {
    XRaiseWindow(display, window);
    XFlush(display);
}

}  // namespace backends::x11
