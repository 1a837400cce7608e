#pragma once
// A window outline from a picture: every pixel except those of one key colour, as a set of
// rectangles in window coordinates.
#include <cstdint>
#include <vector>

#include "base/geometry.h"
#include "base/image.h"

namespace base {

struct RegionRect {
    int left = 0;
    int top = 0;
    int right = 0;   // exclusive
    int bottom = 0;  // exclusive
    friend bool operator==(const RegionRect&, const RegionRect&) = default;
};

// Non-overlapping rectangles; their union is the shape.
using Region = std::vector<RegionRect>;

// The key colour as a picture pixel (0x00RRGGBB) from a COLORREF (0x00BBGGRR).
std::uint32_t keyFromColorref(std::int32_t colorref);

// The shape of `picture` (top row first, 0xAARRGGBB) placed with its pixel (x, y) at
// (dx + x, dy + y), without the pixels whose 0x00RRGGBB equals the key. `keyColour` -1 takes
// the key from the picture's bottom-left pixel; any other value is a COLORREF. The alpha
// byte is never compared. An empty picture gives an empty shape. Time is linear in the
// picture's size.
Region regionFromBitmap(const base::Image& picture, std::int32_t keyColour, int dx, int dy);

// The same, only where it lies inside `bounds` (window coordinates): the part of a picture that
// covers the window, however large the picture is. Pixels outside are never looked at, but for
// the key's bottom-left one.
Region regionFromBitmap(const base::Image& picture, std::int32_t keyColour, int dx, int dy,
                        const Rect& bounds);

}  // namespace base
