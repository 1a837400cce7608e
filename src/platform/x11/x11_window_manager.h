#pragma once
typedef struct _XDisplay Display;

namespace platform::x11 {

// True when a window manager owns the screen's WM_S0 selection.
bool windowManagerRunning(Display* display);

}  // namespace platform::x11
