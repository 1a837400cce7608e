#pragma once
// Which desktop this X display belongs to, asked in one place: on a Wayland desktop nukitori runs
// through XWayland, whose root window cannot be read, so the screen comes through the desktop
// portal instead.
typedef struct _XDisplay Display;

namespace backends::x11 {

// WAYLAND_DISPLAY is set, or the X server is XWayland.
bool onWaylandDesktop(Display* display);

}  // namespace backends::x11
