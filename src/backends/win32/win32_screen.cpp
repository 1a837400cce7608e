#include "backends/win32/win32_screen.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "backends/win32/gdi_objects.h"
#include "base/os/windows_text.h"
#include "platform/screen_clip.h"

namespace backends::win32 {

namespace {

using Clock = std::chrono::steady_clock;
// The virtual screen's rectangle is asked again after this long: asking costs a round trip to
// the window system under Wine, and a held key reads every frame.
constexpr auto kScreenRectAge = std::chrono::milliseconds(500);

}  // namespace

// What a read needs, kept between reads: the screen's and a memory device context, and the DIB
// of the last read while reads keep their size.
struct Win32Screen::Buffer {
    WindowDc screen{nullptr};
    MemoryDc memory{screen.get()};
    int width = 0;
    int height = 0;
    DibSection dib;
    HGDIOBJ original = nullptr;  // the memory DC's bitmap before ours
    RECT screenRect{};
    Clock::time_point screenRectAsked{};
    bool screenRectKnown = false;

    ~Buffer() {
        if (original) SelectObject(memory.get(), original);
    }
    const RECT& virtualScreen() {
        const Clock::time_point now = Clock::now();
        if (!screenRectKnown || now - screenRectAsked > kScreenRectAge) {
            // Monitors left of or above the primary one have negative coordinates.
            screenRect.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
            screenRect.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
            screenRect.right = screenRect.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
            screenRect.bottom = screenRect.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
            screenRectAsked = now;
            screenRectKnown = true;
        }
        return screenRect;
    }
    bool fit(int w, int h) {
        if (dib.bits && width == w && height == h) return true;
        if (original) SelectObject(memory.get(), original);
        original = nullptr;
        dib = createTopDownDib(w, h);
        width = w;
        height = h;
        if (!dib.bits) return false;
        original = SelectObject(memory.get(), dib.bitmap.get());
        return original && original != HGDI_ERROR;
    }
};

Win32Screen::Win32Screen() : buffer_(std::make_unique<Buffer>()) {}

Win32Screen::~Win32Screen() = default;

base::Result<base::Image> Win32Screen::read(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return base::Failure{"an empty rectangle has no pixels"};
    const RECT& screen = buffer_->virtualScreen();
    const base::Rect part =
        platform::onScreenPart(x, y, width, height,
                               {static_cast<int>(screen.left), static_cast<int>(screen.top),
                                static_cast<int>(screen.right), static_cast<int>(screen.bottom)});
    const int left = part.left, top = part.top, right = part.right, bottom = part.bottom;
    // Left unset: the part on the screen is written below and the rest made black.
    base::Image image = base::Image::uncleared(width, height);
    if (!platform::wholeRectangle(part, x, y, width, height)) platform::blackOutside(image, x, y, part);
    if (part.width() <= 0) return image;
    // A screen that cannot be read is a failed read, never a black picture.
    if (!buffer_->screen.get() || !buffer_->memory.get())
        return base::Failure{"the screen cannot be read: no device context for it"};
    if (!buffer_->fit(width, height))
        return base::Failure{"the screen cannot be read: no bitmap of " + std::to_string(width) + " x " +
                             std::to_string(height) + " pixels to read it into"};
    // CAPTUREBLT takes layered windows too: what the user sees is what is saved.
    if (!BitBlt(buffer_->memory.get(), left - x, top - y, right - left, bottom - top, buffer_->screen.get(),
                left, top, SRCCOPY | CAPTUREBLT))
        return base::Failure{"the screen cannot be read: " + base::systemErrorText(GetLastError())};
    GdiFlush();
    const std::uint32_t* bits = buffer_->dib.bits;
    for (int row = top - y; row < bottom - y; ++row) {
        const std::uint32_t* in = bits + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
        std::uint32_t* out = &image.at(0, row);
        for (int col = left - x; col < right - x; ++col) out[col] = 0xFF000000u | in[col];
    }
    return image;
}

}  // namespace backends::win32
