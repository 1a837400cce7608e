#include "backends/fake/synthetic_screen.h"

namespace backends::fake {

SyntheticScreen::SyntheticScreen(int width, int height) : width_(width), height_(height) {}

std::uint32_t SyntheticScreen::patternAt(int x, int y) {
    // Red carries x, green y, blue a mix, so a pixel's place can be read back from its colour.
    const auto r = static_cast<std::uint32_t>(x & 0xFF);
    const auto g = static_cast<std::uint32_t>(y & 0xFF);
    const auto b = static_cast<std::uint32_t>(((x >> 8) * 16 + (y >> 8) + 1) & 0xFF);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

base::Result<base::Image> SyntheticScreen::read(int x, int y, int width, int height) {
    ++readCount;
    if (failure) return base::Failure{*failure};
    base::Image image(width, height, 0xFF000000u);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            const int sx = x + col, sy = y + row;
            if (sx >= 0 && sy >= 0 && sx < width_ && sy < height_) image.at(col, row) = patternAt(sx, sy);
        }
    return image;
}

}  // namespace backends::fake
