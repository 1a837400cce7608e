#pragma once
typedef struct _XDisplay Display;

namespace platform::qt {

// True when a window manager owns the screen's WM_S0 selection.
bool windowManagerRunning(Display* display);

}  // namespace platform::qt
