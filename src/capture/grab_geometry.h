#pragma once
// Which desktop rectangle a grab reads. Pure arithmetic: coordinates stay signed, so a hole
// left of or above the screen reads black there instead of wrapping to the far side.
#include <cstdint>

#include "base/geometry.h"

namespace capture {

struct GrabRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const GrabRect&, const GrabRect&) = default;
};

// The hole of the capture frame, inset into the window's outer rectangle as the frame's layout
// says. Empty for a frame too small to have one.
GrabRect frameHoleRect(const base::Rect& frameWindow);

// The overlay's rectangle on the screen, from the viewer's client origin.
GrabRect overlayRect(base::Point viewerClientOrigin, std::int16_t overlayX, std::int16_t overlayY,
                     std::uint16_t overlayWidth, std::uint16_t overlayHeight);

}  // namespace capture
