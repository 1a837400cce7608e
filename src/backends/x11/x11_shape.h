#pragma once
typedef struct _XDisplay Display;

namespace backends::x11 {

// True when `window`'s bounding shape, as the server holds it now, covers no pixel: a shape
// request the server refused (too many rectangles) can leave a window so.
bool shapeIsEmpty(Display* display, unsigned long window);

}  // namespace backends::x11
