#include "capture/grab_geometry.h"

#include <algorithm>
#include <limits>

namespace capture {
namespace {

// Window coordinates come from the platform unchecked; keep extreme ones from overflowing.
int saturate(std::int64_t value) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

GrabRect frameHoleRect(const platform::Rect& frameWindow) {
    const std::int64_t left = frameWindow.left, top = frameWindow.top;
    return {saturate(left + 35), saturate(top + 37), saturate(frameWindow.right - left - 39),
            saturate(frameWindow.bottom - top - 41)};
}

GrabRect overlayRect(platform::Point viewerClientOrigin, std::int16_t overlayX, std::int16_t overlayY,
                     std::uint16_t overlayWidth, std::uint16_t overlayHeight) {
    return {saturate(std::int64_t{viewerClientOrigin.x} + overlayX),
            saturate(std::int64_t{viewerClientOrigin.y} + overlayY), overlayWidth, overlayHeight};
}

}  // namespace capture
