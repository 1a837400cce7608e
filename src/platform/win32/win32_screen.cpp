#include "platform/win32/win32_screen.h"

#include <algorithm>

#include "platform/win32/gdi_objects.h"

namespace platform::win32 {

// The DIB of the last read, kept while reads keep their size (a held key reads every frame).
struct Win32Screen::Buffer {
    int width = 0;
    int height = 0;
    DibSection dib;
};

Win32Screen::Win32Screen() : buffer_(std::make_unique<Buffer>()) {}

Win32Screen::~Win32Screen() = default;

base::Image Win32Screen::read(int x, int y, int width, int height) {
    base::Image image(width, height, 0xFF000000u);
    if (image.empty()) return image;

    // Monitors left of or above the primary one have negative coordinates.
    const int screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int screenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int screenRight = screenLeft + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int screenBottom = screenTop + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int left = std::max(x, screenLeft), top = std::max(y, screenTop);
    const int right = static_cast<int>(std::min<long long>(static_cast<long long>(x) + width, screenRight));
    const int bottom =
        static_cast<int>(std::min<long long>(static_cast<long long>(y) + height, screenBottom));
    if (right <= left || bottom <= top) return image;

    if (!buffer_->dib.bits || buffer_->width != width || buffer_->height != height) {
        buffer_->dib = createTopDownDib(width, height);
        buffer_->width = width;
        buffer_->height = height;
        if (!buffer_->dib.bits) return image;
    }
    {
        const WindowDc screen(nullptr);
        const MemoryDc memory(screen.get());
        const Selection selected(memory.get(), buffer_->dib.bitmap.get());
        // CAPTUREBLT takes layered windows too: what the user sees is what is saved.
        if (!BitBlt(memory.get(), left - x, top - y, right - left, bottom - top, screen.get(), left, top,
                    SRCCOPY | CAPTUREBLT))
            return image;
        GdiFlush();
    }
    const std::uint32_t* bits = buffer_->dib.bits;
    for (int row = top - y; row < bottom - y; ++row) {
        const std::uint32_t* in = bits + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
        std::uint32_t* out = &image.at(0, row);
        for (int col = left - x; col < right - x; ++col) out[col] = 0xFF000000u | (in[col] & 0x00FFFFFFu);
    }
    return image;
}

}  // namespace platform::win32
