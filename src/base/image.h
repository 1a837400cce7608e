#pragma once
// A picture in memory: top-down rows of 0xAARRGGBB pixels.
#include <cstdint>
#include <vector>

namespace base {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // width * height, row-major, top row first

    Image() = default;
    Image(int w, int h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool empty() const { return width <= 0 || height <= 0; }
};

}  // namespace base
