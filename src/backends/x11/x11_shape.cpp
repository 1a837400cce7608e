#include "backends/x11/x11_shape.h"

#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace backends::x11 {

bool shapeIsEmpty(Display* display, unsigned long window) {
    int eventBase = 0, errorBase = 0;
    if (!XShapeQueryExtension(display, &eventBase, &errorBase)) return false;  // never shaped then
    int count = 0, ordering = 0;
    XRectangle* rectangles = XShapeGetRectangles(display, window, ShapeBounding, &count, &ordering);
    if (rectangles) XFree(rectangles);
    return count == 0;
}

}  // namespace backends::x11
