#pragma once
// The 24-bit BMP file that every grab and capture writes: file header, information header,
// bottom-up BGR rows padded to four bytes, no colour table.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/image.h"
#include "base/result.h"

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

struct BmpSnapshotSize {
    int width = 0;
    int height = 0;
};

// The size of the picture in `bytes` when they are exactly the layout encodeBmpSnapshot writes
// (54-byte header, 24 bits, bottom-up, no compression or colour table, the file's length that
// of its rows); anything else is refused with the reason.
base::Result<BmpSnapshotSize> bmpSnapshotSize(std::span<const std::uint8_t> bytes);

// The picture in `bytes` (alpha 0xFF), read from exactly that layout, or why it is not one.
base::Result<base::Image> decodeBmpSnapshot(std::span<const std::uint8_t> bytes);

}  // namespace capture
