#pragma once
// The 24-bit BMP file that every grab and capture writes: file header, information header,
// bottom-up BGR rows padded to four bytes, no colour table.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/image.h"

namespace capture {

inline constexpr std::size_t kBmpHeaderSize = 54;

// Bytes per stored row: three per pixel, rounded up to a multiple of four.
std::size_t bmpRowLength(int width);

// Whether a picture of width x height may be read and saved (at most base::kMaxPixels). Larger
// pictures are refused with a message instead.
bool snapshotSizeAllowed(int width, int height);

// The whole file for `image` (0xAARRGGBB, top row first; alpha is dropped). An empty image,
// or one too large for the format's 32-bit sizes, gives no bytes.
std::vector<std::uint8_t> encodeBmpSnapshot(const base::Image& image);

}  // namespace capture
