#pragma once
// The 24-bit BMP file that every grab and capture writes: file header, information header,
// bottom-up BGR rows padded to four bytes, no colour table.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/image.h"

namespace capture {

inline constexpr std::size_t kBmpHeaderSize = 54;

// Bytes per stored row: three per pixel, rounded up to a multiple of four.
std::size_t bmpRowLength(int width);

// The whole file for `image` (0xAARRGGBB, top row first; alpha is dropped). An empty image,
// or one too large for the format's 32-bit sizes, gives no bytes.
std::vector<std::uint8_t> encodeBmpSnapshot(const render::Image& image);

}  // namespace capture
