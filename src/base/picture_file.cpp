#include "base/picture_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "base/byte_order.h"
#include "base/file_bytes.h"
#include "base/image.h"

namespace base {

namespace {

using Bytes = std::span<const std::uint8_t>;

// A 32-bit BMP of the largest size, with room for any header and palette.
constexpr std::uint64_t kMaxPictureFileBytes = 4 * kMaxPixels + (1u << 20);

const Failure kCutShort{"the file ends before the picture does"};

std::uint32_t le(Bytes b, std::size_t at, std::size_t count) {
    return static_cast<std::uint32_t>(readLittleEndian(b.data(), at, count));
}

std::uint32_t be(Bytes b, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = (value << 8) | b[at + i];
    return value;
}

bool startsWith(Bytes b, std::string_view magic) {
    return b.size() >= magic.size() && std::memcmp(b.data(), magic.data(), magic.size()) == 0;
}

Result<PictureHeader> sized(PictureFormat format, std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return Failure{"the picture has no pixels"};
    // Both sides are below 2^32, so their product cannot overflow.
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels)
        return Failure{"the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                       " pixels, more than 8192 x 8192"};
    return PictureHeader{format, static_cast<int>(width), static_cast<int>(height)};
}

// Run-length coded rows from `at` must set every pixel: decoders leave what a skip, a short
// row or an early end passes over as the memory was.
Status checkRunLengths(Bytes b, std::size_t at, std::int64_t width, std::int64_t rows, bool fourBits) {
    const Failure unset{"its run-length codes leave pixels unset"};
    std::int64_t x = 0, y = 0;
    while (y < rows) {
        if (at + 2 > b.size()) return kCutShort;
        const std::uint8_t count = b[at], code = b[at + 1];
        at += 2;
        if (count > 0) {
            x += count;
        } else if (code == 0) {  // end of row
            if (x != width) return unset;
            x = 0;
            ++y;
        } else if (code == 1) {  // end of picture
            if (y != rows - 1 || x != width) return unset;
            ++y;
        } else if (code == 2) {  // skip
            return unset;
        } else {  // literal pixels, padded to whole 16-bit words
            const std::size_t length = fourBits ? (code + 1u) / 2 : code;
            at += (length + 1) & ~std::size_t{1};
            if (at > b.size()) return kCutShort;
            x += code;
        }
        if (x > width) return Failure{"its run-length codes run past the end of a row"};
    }
    return Done{};
}

Result<PictureHeader> checkBmp(Bytes b) {
    // The file header (14 bytes), then the information header, which starts with its size:
    // 12 for the oldest form (16-bit sizes), 40 or more for the others.
    if (b.size() < 18) return kCutShort;
    const std::uint32_t dataOffset = le(b, 10, 4), infoSize = le(b, 14, 4);
    const bool core = infoSize == 12;
    if (!core && (infoSize < 40 || infoSize > 124)) return Failure{"its BMP header is of no known kind"};
    if (b.size() < 14 + infoSize) return kCutShort;
    const std::int64_t width = core ? std::int64_t{le(b, 18, 2)} : static_cast<std::int32_t>(le(b, 18, 4));
    const std::int64_t height = core ? std::int64_t{le(b, 20, 2)} : static_cast<std::int32_t>(le(b, 22, 4));
    const std::uint32_t bits = core ? le(b, 24, 2) : le(b, 28, 2);
    const std::uint32_t compression = core ? 0 : le(b, 30, 4);
    const std::uint32_t coloursUsed = core ? 0 : le(b, 46, 4);
    const std::int64_t rows = height < 0 ? -height : height;  // negative: top row first
    auto header = sized(PictureFormat::Bmp, width, rows);
    if (!header) return header;

    constexpr std::array kBits = {1u, 4u, 8u, 16u, 24u, 32u};
    if (std::find(kBits.begin(), kBits.end(), bits) == kBits.end())
        return Failure{"a BMP of " + std::to_string(bits) + " bits per pixel is not read"};
    enum : std::uint32_t { kPlain = 0, kRunLength8 = 1, kRunLength4 = 2, kBitFields = 3 };
    const bool known = compression == kPlain || (compression == kRunLength8 && bits == 8) ||
                       (compression == kRunLength4 && bits == 4) ||
                       (compression == kBitFields && (bits == 16 || bits == 32));
    if (!known) return Failure{"its BMP compression is not read"};

    // The colour masks of a 40-byte header and the palette follow the header; the pixels start
    // after them or at the header's offset, whichever is later.
    std::uint64_t headerEnd = 14ull + infoSize;
    if (infoSize == 40 && compression == kBitFields) headerEnd += 12;
    if (bits <= 8) headerEnd += std::uint64_t{coloursUsed ? coloursUsed : 1u << bits} * (core ? 3 : 4);
    if (b.size() < headerEnd) return kCutShort;
    const std::uint64_t dataStart = std::max<std::uint64_t>(dataOffset, headerEnd);
    if (compression == kRunLength8 || compression == kRunLength4) {
        if (dataStart > b.size()) return kCutShort;
        const Status coded = checkRunLengths(b, dataStart, width, rows, compression == kRunLength4);
        if (!coded) return coded.failure();
        return header;
    }
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    if (dataStart + rowBytes * static_cast<std::uint64_t>(rows) > b.size())
        return Failure{"the file ends before the pixel rows its header promises"};
    return header;
}

Result<PictureHeader> checkPng(Bytes b) {
    // The signature, then chunks (length, type, data, CRC), the header chunk first and IEND last.
    constexpr std::size_t kHeaderChunk = 8;
    if (b.size() < kHeaderChunk + 8 + 13 || std::memcmp(b.data() + kHeaderChunk + 4, "IHDR", 4) != 0)
        return Failure{"its PNG header is missing"};
    auto header = sized(PictureFormat::Png, be(b, 16, 4), be(b, 20, 4));
    if (!header) return header;
    for (std::uint64_t at = kHeaderChunk; at + 8 <= b.size();) {
        const std::uint64_t end = at + 12 + be(b, static_cast<std::size_t>(at), 4);
        if (end > b.size()) break;
        if (std::memcmp(b.data() + at + 4, "IEND", 4) == 0) return header;
        at = end;
    }
    return Failure{"the file ends before its PNG end chunk (IEND)"};
}

Result<PictureHeader> checkJpeg(Bytes b) {
    const Failure noEnd{"the file ends before its JPEG end-of-image marker"};
    std::int64_t width = 0, height = 0;
    bool scanned = false;
    std::size_t at = 2;  // after the start-of-image marker
    while (true) {
        // Decoders skip stray bytes and fill bytes up to the next marker.
        while (at < b.size() && b[at] != 0xFF) ++at;
        while (at < b.size() && b[at] == 0xFF) ++at;
        if (at >= b.size()) return noEnd;
        const std::uint8_t marker = b[at++];
        if (marker == 0xD9) break;                                           // end of image
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (at + 2 > b.size()) return noEnd;
        const std::size_t end = at + be(b, at, 2);
        if (end < at + 2 || end > b.size()) return noEnd;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && !scanned && end >= at + 7) {
            height = be(b, at + 3, 2);
            width = be(b, at + 5, 2);
        }
        at = end;
        if (marker != 0xDA) continue;
        // A scan's coded data runs to the next marker that is neither a stuffed zero nor a
        // restart.
        scanned = true;
        for (; at + 1 < b.size(); ++at)
            if (b[at] == 0xFF && b[at + 1] != 0 && b[at + 1] != 0xFF &&
                (b[at + 1] < 0xD0 || b[at + 1] > 0xD7))
                break;
        if (at + 1 >= b.size()) return noEnd;
    }
    if (!scanned) return Failure{"the JPEG holds no picture data"};
    return sized(PictureFormat::Jpeg, width, height);
}

Result<PictureHeader> checkGif(Bytes b) {
    // The screen descriptor, its colour table, then blocks up to the trailer: extensions and
    // pictures, each ending in a chain of sub-blocks.
    if (b.size() < 13) return kCutShort;
    std::int64_t width = le(b, 6, 2), height = le(b, 8, 2);
    const auto tableSize = [](std::uint8_t flags) {
        return flags & 0x80 ? std::size_t{3} << ((flags & 7) + 1) : 0;
    };
    std::size_t at = 13 + tableSize(b[10]);
    bool pictures = false;
    while (at < b.size()) {
        const std::uint8_t block = b[at];
        if (block == 0x3B) {  // trailer
            if (!pictures) return Failure{"the GIF holds no picture"};
            return sized(PictureFormat::Gif, width, height);
        }
        if (block == 0x21) {
            at += 2;
        } else if (block == 0x2C) {
            if (at + 10 > b.size()) return kCutShort;
            // Without a screen size the first picture gives it.
            if (!pictures && (width == 0 || height == 0)) {
                width = le(b, at + 1, 2) + le(b, at + 5, 2);
                height = le(b, at + 3, 2) + le(b, at + 7, 2);
            }
            pictures = true;
            at += 10 + tableSize(b[at + 9]) + 1;  // and the code size
        } else {
            return Failure{"the GIF's blocks are damaged"};
        }
        while (at < b.size() && b[at] != 0) at += 1 + b[at];
        ++at;  // the empty sub-block that ends the chain
    }
    return Failure{"the file ends before its GIF trailer"};
}

}  // namespace

Result<PictureHeader> checkPicture(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return Failure{"the file is empty"};
    if (startsWith(bytes, "BM")) return checkBmp(bytes);
    if (startsWith(bytes, "\x89PNG\r\n\x1A\n")) return checkPng(bytes);
    if (startsWith(bytes, "\xFF\xD8\xFF")) return checkJpeg(bytes);
    if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return checkGif(bytes);
    return Failure{"not a picture nukitori reads (BMP, PNG, JPEG or GIF)"};
}

Result<std::vector<std::uint8_t>> readPictureFile(const std::string& path) {
    Result<std::vector<std::uint8_t>> bytes =
        readFileBytes(path, kMaxPictureFileBytes, "the file is larger than any picture nukitori reads");
    if (!bytes) return bytes;
    const Result<PictureHeader> header = checkPicture(*bytes);
    if (!header) return header.failure();
    return bytes;
}

}  // namespace base
