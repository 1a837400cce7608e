#pragma once
// One pixel of an X visual as 0xAARRGGBB. Pure arithmetic, so it is tested without a display.
// Channels narrower than eight bits are widened by repeating their bits (5-bit 7 becomes 57),
// as xwd, GDI and the desktop's own screenshot tools do: a capture of a 16-bit display then
// holds the very values a screenshot of it holds.
#include <cstdint>

namespace backends::x11 {

// A colour channel of a visual: where its bits sit in a pixel and how many there are.
struct PixelChannel {
    explicit PixelChannel(unsigned long mask) : mask(mask) {
        for (unsigned long m = mask; m && !(m & 1); m >>= 1) ++shift;
        for (unsigned long m = mask >> shift; m; m >>= 1) bits += static_cast<int>(m & 1);
    }

    // The channel of `pixel` in eight bits; wider channels keep their top eight bits.
    std::uint32_t eightBits(unsigned long pixel) const {
        const unsigned long value = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<std::uint32_t>(value >> (bits - 8)) & 0xFF;
        if (bits <= 0) return 0;
        unsigned long repeated = 0;
        int filled = 0;
        for (; filled < 8; filled += bits) repeated = (repeated << bits) | value;
        return static_cast<std::uint32_t>(repeated >> (filled - 8));
    }

    unsigned long mask;
    int shift = 0;
    int bits = 0;
};

struct PixelLayout {
    PixelLayout(unsigned long redMask, unsigned long greenMask, unsigned long blueMask)
        : red(redMask), green(greenMask), blue(blueMask) {}

    std::uint32_t argb(unsigned long pixel) const {
        return 0xFF000000u | (red.eightBits(pixel) << 16) | (green.eightBits(pixel) << 8) |
               blue.eightBits(pixel);
    }

    PixelChannel red, green, blue;
};

}  // namespace backends::x11
