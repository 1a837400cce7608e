#include "platform/qt/x11_window_manager.h"

#include <X11/Xlib.h>

namespace platform::qt {

bool windowManagerRunning(Display* display) {
    const Atom selection = XInternAtom(display, "WM_S0", False);
    return XGetSelectionOwner(display, selection) != None;
}

}  // namespace platform::qt
