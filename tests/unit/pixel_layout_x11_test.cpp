#include <gtest/gtest.h>

#include "backends/x11/x11_pixel.h"

namespace {

using backends::x11::PixelChannel;
using backends::x11::PixelLayout;

TEST(PixelLayout, NarrowChannelsAreWidenedByRepeatingTheirBitsAsScreenshotToolsDo) {
    const PixelLayout rgb565(0xF800, 0x07E0, 0x001F);
    // Red 7 of 31 is 57 in a screenshot (00111 00111 >> 2), not the rounded 58; green 14 of 63
    // is 56 (001110 001110 >> 4), not 57.
    EXPECT_EQ(rgb565.argb((7u << 11) | (14u << 5) | 31u), 0xFF3938FFu);
    EXPECT_EQ(rgb565.argb(0x0000), 0xFF000000u) << "black is not black";
    EXPECT_EQ(rgb565.argb(0xFFFF), 0xFFFFFFFFu) << "white is not white";

    const PixelLayout rgb555(0x7C00, 0x03E0, 0x001F);
    EXPECT_EQ(rgb555.argb((3u << 10) | (28u << 5) | 24u), 0xFF18E7C6u) << "rounded: 25, 230, 197";

    // Eight-bit channels pass unchanged; ten-bit ones keep their top eight bits.
    EXPECT_EQ(PixelLayout(0xFF0000, 0xFF00, 0xFF).argb(0x123456), 0xFF123456u);
    EXPECT_EQ(PixelLayout(0x3FF00000, 0xFFC00, 0x3FF).argb((0x2A5u << 20) | (0x3FFu << 10)), 0xFFA9FF00u);

    // Whatever its width, a channel's every level keeps its bits on top, in order.
    for (int bits = 1; bits <= 7; ++bits) {
        const PixelChannel channel((1ul << bits) - 1);
        for (unsigned long level = 0; level < (1ul << bits); ++level)
            EXPECT_EQ(channel.eightBits(level) >> (8 - bits), level) << bits << "-bit level " << level;
        EXPECT_EQ(channel.eightBits((1ul << bits) - 1), 0xFFu) << "the top " << bits << "-bit level";
    }
}

}  // namespace
