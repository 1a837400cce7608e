#include "capture/bmp_snapshot.h"

#include <string>

#include "base/byte_order.h"

namespace capture {
namespace {

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    base::writeLittleEndian(out.data(), at, value, 2);
}

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    base::writeLittleEndian(out.data(), at, value, 4);
}

std::uint32_t get16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(base::readLittleEndian(bytes.data(), at, 2));
}

std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(base::readLittleEndian(bytes.data(), at, 4));
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

base::Result<BmpSnapshotSize> bmpSnapshotSize(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kBmpHeaderSize) return base::Failure{"shorter than a BMP header"};
    if (bytes[0] != 'B' || bytes[1] != 'M') return base::Failure{"not a BMP file"};
    if (get32(bytes, 14) != 40) return base::Failure{"not a BMP with a 40-byte information header"};
    if (get32(bytes, 10) != kBmpHeaderSize) return base::Failure{"its pixels do not follow the header"};
    const auto width = static_cast<std::int32_t>(get32(bytes, 18));
    const auto height = static_cast<std::int32_t>(get32(bytes, 22));
    if (get16(bytes, 26) != 1 || get16(bytes, 28) != 24) return base::Failure{"not a 24-bit BMP"};
    if (get32(bytes, 30) != 0) return base::Failure{"a compressed BMP"};
    if (get32(bytes, 46) != 0) return base::Failure{"a BMP with a colour table"};
    if (height < 0) return base::Failure{"a top-down BMP"};
    if (width <= 0 || height == 0) return base::Failure{"a BMP without pixels"};
    if (!snapshotSizeAllowed(width, height))
        return base::Failure{"a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels, more than nukitori reads"};
    const std::size_t length = kBmpHeaderSize + bmpRowLength(width) * static_cast<std::size_t>(height);
    if (bytes.size() != length || get32(bytes, 2) != length)
        return base::Failure{"its length is not that of its " + std::to_string(width) + " x " +
                             std::to_string(height) + " pixels"};
    return BmpSnapshotSize{width, height};
}

base::Result<base::Image> decodeBmpSnapshot(std::span<const std::uint8_t> bytes) {
    const base::Result<BmpSnapshotSize> size = bmpSnapshotSize(bytes);
    if (!size) return size.failure();
    base::Image image = base::Image::uncleared(size->width, size->height);
    const std::size_t rowLength = bmpRowLength(size->width);
    const std::uint8_t* row = bytes.data() + kBmpHeaderSize;
    for (int y = size->height - 1; y >= 0; --y, row += rowLength) {
        std::uint32_t* dest =
            image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(size->width);
        for (int x = 0; x < size->width; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
            dest[x] = 0xFF000000u | (static_cast<std::uint32_t>(p[2]) << 16) |
                      (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
        }
    }
    return image;
}

}  // namespace capture
