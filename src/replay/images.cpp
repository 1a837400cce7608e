#include "replay/images.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace replay {

base::Image resized(const base::Image& image, int width, int height) {
    base::Image out(width, height);
    if (image.empty() || width <= 0 || height <= 0) return out;
    const double sx = static_cast<double>(image.width) / width,
                 sy = static_cast<double>(image.height) / height;
    for (int y = 0; y < height; ++y) {
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, static_cast<double>(image.height - 1));
        const int y0 = static_cast<int>(fy), y1 = std::min(y0 + 1, image.height - 1);
        const double wy = fy - y0;
        for (int x = 0; x < width; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, static_cast<double>(image.width - 1));
            const int x0 = static_cast<int>(fx), x1 = std::min(x0 + 1, image.width - 1);
            const double wx = fx - x0;
            std::uint32_t pixel = 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                auto channel = [&](int px, int py) {
                    return static_cast<double>((image.at(px, py) >> shift) & 0xFF);
                };
                const double top = channel(x0, y0) * (1 - wx) + channel(x1, y0) * wx;
                const double bottom = channel(x0, y1) * (1 - wx) + channel(x1, y1) * wx;
                const double v = top * (1 - wy) + bottom * wy;
                pixel |= static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)) << shift;
            }
            out.at(x, y) = pixel;
        }
    }
    return out;
}

base::Image covering(const base::Image& image, int width, int height) {
    if (image.empty()) return {};
    const double scale =
        std::max(static_cast<double>(width) / image.width, static_cast<double>(height) / image.height);
    const int w = std::max(width, static_cast<int>(std::ceil(image.width * scale)));
    const int h = std::max(height, static_cast<int>(std::ceil(image.height * scale)));
    const base::Image big = resized(image, w, h);
    base::Image out(width, height);
    const int left = (w - width) / 2, top = (h - height) / 2;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) out.at(x, y) = big.at(x + left, y + top) | 0xFF000000u;
    return out;
}

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(std::vector<std::uint8_t>& out, std::string_view type, const std::vector<std::uint8_t>& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    put32(out,
          static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

}  // namespace

std::vector<std::uint8_t> encodePng(const base::Image& image) {
    // Each row: filter type 0 (none), then R G B.
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(image.height) * (1 + 3 * static_cast<std::size_t>(image.width)));
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.at(x, y);
            raw.insert(raw.end(), {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                                   static_cast<std::uint8_t>(p)});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        return {};
    packed.resize(packedSize);
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    put32(header, static_cast<std::uint32_t>(image.width));
    put32(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return out;
}

}  // namespace replay
