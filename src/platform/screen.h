#pragma once
// Desktop pixels. Cost grows with the rectangle read, not with the screen.
#include "base/image.h"
#include "base/result.h"

namespace platform {

class Screen {
public:
    virtual ~Screen() = default;
    // The rectangle at (x, y) in screen coordinates, top row first; pixels outside the screen
    // read as black. Width and height are at least 1. Fails, with the reason in words, when the
    // system will not give the pixels (an X server under Wayland refuses its root window).
    virtual base::Result<base::Image> read(int x, int y, int width, int height) = 0;
};

}  // namespace platform
