#include "backends/fake/synthetic_screen.h"

#include "platform/screen_clip.h"

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
    if (asks && watcher_) {
        watcher_->questionAsked();
        watcher_->whileAsked();
        watcher_->questionAnswered();
    }
    if (failure) return base::Failure{*failure};
    const base::Rect part = platform::onScreenPart(x, y, width, height, {0, 0, width_, height_});
    base::Image image = base::Image::uncleared(width, height);
    platform::blackOutside(image, x, y, part);
    for (int sy = part.top; sy < part.bottom; ++sy)
        for (int sx = part.left; sx < part.right; ++sx) image.at(sx - x, sy - y) = patternAt(sx, sy);
    return image;
}

}  // namespace backends::fake
