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

void keepAbove(Display* display, unsigned long window, bool above) {
    // The window manager's state request: remove (0) or add (1) two states at once.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = above ? 1 : 0;
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[2] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_STAYS_ON_TOP", False));
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    if (above)
        XRaiseWindow(display, window);
    else
        XLowerWindow(display, window);
    XFlush(display);
}

int connectionSocket(Display* display) {
    return ConnectionNumber(display);
}

bool flushAndCheckEvents(Display* display) {
    XFlush(display);
    return XPending(display) > 0;
}

void allowMoveAndCloseOnly(Display* display, unsigned long window) {
    // The Motif hints: flags (functions and decorations given), functions, decorations, input
    // mode, status. Functions move (4) and close (32); decorations border (2), title (8), menu (16).
    const long hints[5] = {1 | 2, 4 | 32, 2 | 8 | 16, 0, 0};
    const Atom atom = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(display, window, atom, atom, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
    XFlush(display);
}

}  // namespace backends::x11
