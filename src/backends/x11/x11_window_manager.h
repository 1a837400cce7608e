#pragma once
typedef struct _XDisplay Display;

namespace backends::x11 {

// True when a window manager owns the screen's WM_S0 selection.
bool windowManagerRunning(Display* display);

// Puts `window` above its siblings now: the request is sent at once, not left in a buffer
// until the toolkit next talks to the server.
void raiseWindow(Display* display, unsigned long window);

// Tells the window manager that `window` may be moved and closed only: no resizing, maximizing
// or minimizing, and a title with a close box. The toolkit's own hints also offer resizing.
void allowMoveAndCloseOnly(Display* display, unsigned long window);

// Asks the window manager to keep `window` above other windows, or to stop doing so and put
// it below them (where it can cover nothing the desktop shows).
void keepAbove(Display* display, unsigned long window, bool above);

// The connection's socket, readable when events arrive.
int connectionSocket(Display* display);
// Sends what the connection holds back, then says whether events wait in its queue.
bool flushAndCheckEvents(Display* display);

}  // namespace backends::x11
