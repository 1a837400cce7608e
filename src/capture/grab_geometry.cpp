#include "capture/grab_geometry.h"

#include <algorithm>
#include <limits>

#include "platform/window_layout.h"

namespace capture {
namespace {

// Window coordinates come from the platform unchecked; keep extreme ones from overflowing.
int saturate(std::int64_t value) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

GrabRect frameHoleRect(const base::Rect& frameWindow) {
    constexpr platform::frame::Inset inset = platform::frame::kHoleInset;
    const std::int64_t left = frameWindow.left, top = frameWindow.top;
    return {saturate(left + inset.left), saturate(top + inset.top),
            saturate(frameWindow.right - left - inset.left - inset.right),
            saturate(frameWindow.bottom - top - inset.top - inset.bottom)};
}

GrabRect overlayRect(base::Point viewerClientOrigin, std::int16_t overlayX, std::int16_t overlayY,
                     std::uint16_t overlayWidth, std::uint16_t overlayHeight) {
    return {saturate(std::int64_t{viewerClientOrigin.x} + overlayX),
            saturate(std::int64_t{viewerClientOrigin.y} + overlayY), overlayWidth, overlayHeight};
}

}  // namespace capture
