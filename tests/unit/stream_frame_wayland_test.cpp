#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "backends/wayland/stream_frame.h"

using backends::wayland::DesktopPlace;
using backends::wayland::FrameView;
using backends::wayland::PixelFormat;
using backends::wayland::readFrame;

namespace {

// A 3 x 2 frame in `format` whose pixel (x, y) is red 10x+y, green 100+x, blue 200+y, written
// in the format's byte order, with 8 bytes of padding a row and junk in the unused bytes.
std::vector<std::uint8_t> frameBytes(PixelFormat format) {
    std::vector<std::uint8_t> bytes(2 * 20, 0xEE);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const std::uint8_t r = static_cast<std::uint8_t>(10 * x + y),
                               g = static_cast<std::uint8_t>(100 + x), b = static_cast<std::uint8_t>(200 + y);
            std::uint8_t* p = &bytes[y * 20 + x * 4];
            switch (format) {
                case PixelFormat::BGRx:
                case PixelFormat::BGRA:
                    p[0] = b, p[1] = g, p[2] = r, p[3] = 0x11;
                    break;
                case PixelFormat::RGBx:
                case PixelFormat::RGBA:
                    p[0] = r, p[1] = g, p[2] = b, p[3] = 0x11;
                    break;
                case PixelFormat::xRGB:
                    p[0] = 0x11, p[1] = r, p[2] = g, p[3] = b;
                    break;
            }
        }
    return bytes;
}

std::uint32_t expected(int x, int y) {
    return 0xFF000000u | static_cast<std::uint32_t>(10 * x + y) << 16 |
           static_cast<std::uint32_t>(100 + x) << 8 | static_cast<std::uint32_t>(200 + y);
}

}  // namespace

TEST(StreamFrame, EveryFormatGivesTheSameOpaquePixelsAndTheOutsideReadsBlack) {
    for (PixelFormat format :
         {PixelFormat::BGRx, PixelFormat::RGBx, PixelFormat::BGRA, PixelFormat::RGBA, PixelFormat::xRGB}) {
        const auto bytes = frameBytes(format);
        const FrameView frame{bytes.data(), 3, 2, 20, format};
        // The stream lies at (100, 50) of the desktop; the read reaches past it on every side.
        const base::Image image = readFrame(frame, DesktopPlace{100, 50, 3, 2}, 99, 49, 5, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const bool inside = x >= 1 && x <= 3 && y >= 1 && y <= 2;
                EXPECT_EQ(image.at(x, y), inside ? expected(x - 1, y - 1) : 0xFF000000u)
                    << "format " << static_cast<int>(format) << " at " << x << "," << y;
            }
    }
}

TEST(StreamFrame, AStreamOfMorePixelsThanItsPlaceIsSampledAtEachXPixelsCorner) {
    // A 6 x 4 stream (an output at scale 2) of a 3 x 2 place: X pixel (x, y) takes (2x, 2y).
    std::vector<std::uint8_t> bytes(6 * 4 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            std::uint8_t* p = &bytes[(y * 6 + x) * 4];
            p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y), p[2] = 0, p[3] = 0;
        }
    const base::Image image =
        readFrame(FrameView{bytes.data(), 6, 4, 24, PixelFormat::BGRx}, DesktopPlace{0, 0, 3, 2}, 0, 0, 3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.at(x, y), 0xFF000000u | static_cast<std::uint32_t>(2 * y) << 8 |
                                          static_cast<std::uint32_t>(2 * x));
}
