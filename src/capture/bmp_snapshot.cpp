#include "capture/bmp_snapshot.h"

#include "base/byte_order.h"

namespace capture {
namespace {

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    base::writeLittleEndian(out.data(), at, value, 2);
}

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    base::writeLittleEndian(out.data(), at, value, 4);
}

}  // namespace

std::size_t bmpRowLength(int width) {
    if (width <= 0) return 0;
    return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
}

bool snapshotSizeAllowed(int width, int height) {
    return width > 0 && height > 0 &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= base::kMaxPixels;
}

std::vector<std::uint8_t> encodeBmpSnapshot(const base::Image& image) {
    if (image.empty()) return {};
    const std::size_t rowLength = bmpRowLength(image.width);
    const std::size_t imageSize = rowLength * static_cast<std::size_t>(image.height);
    // bfSize is 32 bits; a larger picture has no valid BMP form.
    if (imageSize > 0xFFFFFFFFu - kBmpHeaderSize) return {};

    // Zero-filled, so the unused header fields and the row padding need no writes.
    std::vector<std::uint8_t> out(kBmpHeaderSize + imageSize, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, static_cast<std::uint32_t>(kBmpHeaderSize + imageSize));
    put32(out, 10, static_cast<std::uint32_t>(kBmpHeaderSize));
    put32(out, 14, 40);
    put32(out, 18, static_cast<std::uint32_t>(image.width));
    put32(out, 22, static_cast<std::uint32_t>(image.height));  // positive: bottom-up rows
    put16(out, 26, 1);
    put16(out, 28, 24);
    put32(out, 34, static_cast<std::uint32_t>(imageSize));

    std::uint8_t* row = out.data() + kBmpHeaderSize;
    for (int y = image.height - 1; y >= 0; --y, row += rowLength) {
        const std::uint32_t* source =
            image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width);
        std::uint8_t* dest = row;
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = source[x];
            *dest++ = static_cast<std::uint8_t>(p & 0xFF);
            *dest++ = static_cast<std::uint8_t>((p >> 8) & 0xFF);
            *dest++ = static_cast<std::uint8_t>((p >> 16) & 0xFF);
        }
    }
    return out;
}

}  // namespace capture
