#include "backends/wayland/stream_frame.h"

#include <algorithm>
#include <cstring>

namespace backends::wayland {

namespace {

// The frame pixel a desktop coordinate falls on, or -1 outside the place.
int framePixel(int desktop, int placeStart, int placeSize, int frameSize) {
    const long long offset = static_cast<long long>(desktop) - placeStart;
    if (offset < 0 || offset >= placeSize) return -1;
    const long long pixel = offset * frameSize / placeSize;
    return pixel < frameSize ? static_cast<int>(pixel) : -1;
}

// Converts `count` pixels at `in` in `format` into `out`, each loop simple enough for the
// compiler to vectorize (the build lets it): a read costs about a copy of its pixels.
void convertRow(const std::uint8_t* __restrict in, std::uint32_t* __restrict out, int count,
                PixelFormat format) {
    switch (format) {
        case PixelFormat::BGRx:
        case PixelFormat::BGRA:
            for (int i = 0; i < count; ++i) {
                std::uint32_t pixel;
                std::memcpy(&pixel, in + 4 * i, 4);
                out[i] = 0xFF000000u | pixel;
            }
            return;
        case PixelFormat::RGBx:
        case PixelFormat::RGBA:
            for (int i = 0; i < count; ++i) {
                std::uint32_t pixel;
                std::memcpy(&pixel, in + 4 * i, 4);
                out[i] = 0xFF000000u | (pixel & 0xFF) << 16 | (pixel & 0xFF00) | (pixel >> 16 & 0xFF);
            }
            return;
        case PixelFormat::xRGB:
            for (int i = 0; i < count; ++i) {
                std::uint32_t pixel;
                std::memcpy(&pixel, in + 4 * i, 4);
                out[i] = 0xFF000000u | (pixel >> 24) | (pixel >> 8 & 0xFF00) | (pixel << 8 & 0xFF0000);
            }
            return;
    }
}

}  // namespace

base::Image readFrame(const FrameView& frame, const DesktopPlace& place, int x, int y, int width,
                      int height) {
    base::Image image = base::Image::uncleared(width, height);
    const bool oneToOne = place.width == frame.width && place.height == frame.height;
    // At scale 1 the columns on the frame are one run: [first, last) of the picture.
    const auto clampToWidth = [width](long long column) {
        return static_cast<int>(std::clamp<long long>(column, 0, width));
    };
    const int first = clampToWidth(static_cast<long long>(place.x) - x);
    const int last = clampToWidth(static_cast<long long>(place.x) + frame.width - x);
    for (int row = 0; row < height; ++row) {
        std::uint32_t* out = &image.at(0, row);
        const int frameRow = place.height > 0 ? framePixel(y + row, place.y, place.height, frame.height) : -1;
        if (frameRow < 0) {
            std::fill(out, out + width, 0xFF000000u);
            continue;
        }
        const std::uint8_t* line = frame.data + static_cast<std::ptrdiff_t>(frameRow) * frame.stride;
        if (oneToOne) {
            std::fill(out, out + first, 0xFF000000u);
            if (last > first)
                convertRow(line + static_cast<std::ptrdiff_t>(x + first - place.x) * 4, out + first,
                           last - first, frame.format);
            std::fill(out + std::max(first, last), out + width, 0xFF000000u);
            continue;
        }
        for (int col = 0; col < width; ++col) {
            const int frameCol =
                place.width > 0 ? framePixel(x + col, place.x, place.width, frame.width) : -1;
            if (frameCol < 0)
                out[col] = 0xFF000000u;
            else
                convertRow(line + static_cast<std::ptrdiff_t>(frameCol) * 4, out + col, 1, frame.format);
        }
    }
    return image;
}

}  // namespace backends::wayland
