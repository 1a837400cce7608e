#pragma once
// Desktop pixels. Cost grows with the rectangle read, not with the screen.
#include "base/image.h"

namespace platform {

class Screen {
public:
    virtual ~Screen() = default;
    // The rectangle at (x, y) in screen coordinates, top row first; pixels outside the screen
    // read as black. Width and height are at least 1.
    virtual base::Image read(int x, int y, int width, int height) = 0;
};

}  // namespace platform
