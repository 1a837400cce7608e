#pragma once
// What every screen reader does with a rectangle that reaches past the screen: it reads the part
// the screen holds and makes the rest black. Sums are 64-bit, so a rectangle near the end of the
// coordinate range cannot wrap around onto the screen.
#include <algorithm>
#include <cstdint>

#include "base/geometry.h"
#include "base/image.h"

namespace platform {

inline constexpr std::uint32_t kOffScreen = 0xFF000000u;  // opaque black

// The part of the rectangle at (x, y), width x height, that lies in `screen`, in screen
// coordinates; an empty rectangle when none does.
inline base::Rect onScreenPart(int x, int y, int width, int height, const base::Rect& screen) {
    const long long right = std::min<long long>(static_cast<long long>(x) + width, screen.right);
    const long long bottom = std::min<long long>(static_cast<long long>(y) + height, screen.bottom);
    const int left = std::max(x, screen.left), top = std::max(y, screen.top);
    if (right <= left || bottom <= top) return {};
    return {left, top, static_cast<int>(right), static_cast<int>(bottom)};
}

// Whether `part` is the whole of the rectangle at (x, y), width x height.
inline bool wholeRectangle(const base::Rect& part, int x, int y, int width, int height) {
    return part.left == x && part.top == y && part.width() == width && part.height() == height;
}

// Makes every pixel of `image`, whose top-left pixel is at (x, y) on the screen, black outside
// `part`.
inline void blackOutside(base::Image& image, int x, int y, const base::Rect& part) {
    const auto column = [&](int screenX) {
        return static_cast<int>(std::clamp<long long>(static_cast<long long>(screenX) - x, 0, image.width));
    };
    const int first = column(part.left), last = std::max(first, column(part.right));
    for (int row = 0; row < image.height; ++row) {
        std::uint32_t* out = &image.at(0, row);
        const long long screenY = static_cast<long long>(y) + row;
        if (screenY < part.top || screenY >= part.bottom) {
            std::fill(out, out + image.width, kOffScreen);
            continue;
        }
        std::fill(out, out + first, kOffScreen);
        std::fill(out + last, out + image.width, kOffScreen);
    }
}

}  // namespace platform
