#pragma once
typedef struct _XDisplay Display;

namespace backends::x11 {

// True when a window manager owns the screen's WM_S0 selection.
bool windowManagerRunning(Display* display);

// Puts `window` above its siblings now: the request is sent at once, not left in a buffer
// until the toolkit next talks to the server.
void raiseWindow(Display* display, unsigned long window);

}  // namespace backends::x11
