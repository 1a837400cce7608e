#include "platform/x11/x11_screen.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>

namespace platform::x11 {

namespace {

int shiftOf(unsigned long mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int bitsOf(unsigned long mask) {
    int bits = 0;
    for (; mask; mask >>= 1) bits += static_cast<int>(mask & 1);
    return bits;
}

// Scales a channel of `bits` bits to eight bits.
std::uint32_t widen(unsigned long value, int bits) {
    if (bits >= 8) return static_cast<std::uint32_t>(value >> (bits - 8)) & 0xFF;
    if (bits <= 0) return 0;
    return static_cast<std::uint32_t>((value * 255 + ((1ul << bits) - 1) / 2) / ((1ul << bits) - 1));
}

}  // namespace

X11Screen::X11Screen(Display* display) : display_(display) {}

base::Image X11Screen::read(int x, int y, int width, int height) {
    base::Image image(width, height, 0xFF000000u);
    const Window root = DefaultRootWindow(display_);
    const int screen = DefaultScreen(display_);
    const int screenWidth = DisplayWidth(display_, screen);
    const int screenHeight = DisplayHeight(display_, screen);
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min(x + width, screenWidth), bottom = std::min(y + height, screenHeight);
    if (right <= left || bottom <= top) return image;

    XImage* xi = XGetImage(display_, root, left, top, static_cast<unsigned>(right - left),
                           static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
    if (!xi) return image;
    const int rs = shiftOf(xi->red_mask), gs = shiftOf(xi->green_mask), bs = shiftOf(xi->blue_mask);
    const int rb = bitsOf(xi->red_mask), gb = bitsOf(xi->green_mask), bb = bitsOf(xi->blue_mask);
    const bool fast = xi->bits_per_pixel == 32 && rs == 16 && gs == 8 && bs == 0 && rb == 8 && gb == 8 &&
                      bb == 8 && xi->byte_order == LSBFirst;
    for (int row = top; row < bottom; ++row) {
        std::uint32_t* out = &image.at(left - x, row - y);
        if (fast) {
            const auto* in =
                reinterpret_cast<const std::uint32_t*>(xi->data + (row - top) * xi->bytes_per_line);
            for (int col = 0; col < right - left; ++col) out[col] = 0xFF000000u | (in[col] & 0x00FFFFFFu);
            continue;
        }
        for (int col = 0; col < right - left; ++col) {
            const unsigned long p = XGetPixel(xi, col, row - top);
            out[col] = 0xFF000000u | (widen((p & xi->red_mask) >> rs, rb) << 16) |
                       (widen((p & xi->green_mask) >> gs, gb) << 8) | widen((p & xi->blue_mask) >> bs, bb);
        }
    }
    XDestroyImage(xi);
    return image;
}

}  // namespace platform::x11
