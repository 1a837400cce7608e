#pragma once
// The pixels of a screen-cast frame as the X windows see the screen: the frame covers a place
// of the desktop (in X coordinates) and may hold more pixels than that place (a scaled output).
#include <cstdint>

#include "base/image.h"

namespace backends::wayland {

// The memory orders of the shared-memory formats a stream may negotiate.
enum class PixelFormat { BGRx, RGBx, BGRA, RGBA, xRGB };

struct FrameView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes from one row to the next
    PixelFormat format = PixelFormat::BGRx;
};

// Where the frame's pixels lie on the desktop, in X coordinates.
struct DesktopPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The rectangle (x, y, width, height) of the desktop from `frame`: each X pixel takes the frame
// pixel its top-left corner falls on, so at scale 1 the pixels are the frame's own. Pixels
// outside the place read as black; alpha is opaque.
base::Image readFrame(const FrameView& frame, const DesktopPlace& place, int x, int y, int width, int height);

}  // namespace backends::wayland
