#pragma once
// A picture in memory: top-down rows of 0xAARRGGBB pixels.
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace base {

// The most pixels a picture may have, read or written: 8192 x 8192. The overlay has no upper
// bound (only 16 bits), and a 65535 x 65535 picture would need gigabytes of memory.
inline constexpr std::uint64_t kMaxPixels = 8192ull * 8192ull;

// Leaves new elements unset instead of clearing them, for buffers that are written whole
// before they are read.
template <class T>
struct UnclearedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnclearedAllocator<U>;
    };
    UnclearedAllocator() = default;
    template <class U>
    UnclearedAllocator(const UnclearedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

struct Image {
    int width = 0;
    int height = 0;
    // width * height, row-major, top row first
    std::vector<std::uint32_t, UnclearedAllocator<std::uint32_t>> pixels;

    Image() = default;
    Image(int w, int h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool empty() const { return width <= 0 || height <= 0; }
    // A picture whose pixels are not set yet: the caller writes every one.
    static Image uncleared(int w, int h) {
        Image image;
        image.width = w;
        image.height = h;
        image.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        return image;
    }
};

}  // namespace base
