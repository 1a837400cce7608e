#include "backends/win32/gdi_text_painter.h"

#include <algorithm>
#include <map>

#include "backends/win32/gdi_objects.h"
#include "backends/win32/gothic_font.h"
#include "base/os/windows_text.h"

namespace backends::win32 {

namespace {
// Line feeds break lines, tabs expand, and '&' is drawn as itself (a typed prefix may hold one).
constexpr UINT kFormat = DT_LEFT | DT_TOP | DT_NOCLIP | DT_EXPANDTABS | DT_NOPREFIX;
}  // namespace

// One font per height asked; the viewer asks for one height only.
struct GdiTextPainter::Fonts {
    std::map<int, Font> byHeight;
};

GdiTextPainter::GdiTextPainter() : fonts_(std::make_unique<Fonts>()) {}

GdiTextPainter::~GdiTextPainter() = default;

base::Image GdiTextPainter::paint(const std::string& text, std::uint32_t colour, int pixelHeight) {
    Font& font = fonts_->byHeight[pixelHeight];
    // A positive height is the cell height, as the Direct3D font of the viewer's texts takes it.
    if (!font) font = createGothicFont(pixelHeight, ANTIALIASED_QUALITY);

    std::wstring wide = base::toUtf16(text);
    const MemoryDc dc;
    const Selection fontSelected(dc.get(), font.get());
    RECT bounds{0, 0, 0, 0};
    if (!wide.empty())
        DrawTextW(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &bounds, kFormat | DT_CALCRECT);
    const int width = std::max(1, static_cast<int>(bounds.right));
    const int height = std::max(1, static_cast<int>(bounds.bottom));

    base::Image image(width, height, colour & 0x00FFFFFFu);
    DibSection dib = createTopDownDib(width, height);
    if (!dib.bits || wide.empty()) return image;
    {
        // White on black: each pixel's brightness is the glyph's coverage there.
        const Selection bitmapSelected(dc.get(), dib.bitmap.get());
        std::fill_n(dib.bits, static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
        SetBkMode(dc.get(), TRANSPARENT);
        SetTextColor(dc.get(), RGB(255, 255, 255));
        RECT place{0, 0, width, height};
        DrawTextW(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &place, kFormat);
        GdiFlush();
    }
    const std::uint32_t alpha = colour >> 24;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::uint32_t p = dib.bits[i];
        const std::uint32_t coverage = std::max({(p >> 16) & 0xFFu, (p >> 8) & 0xFFu, p & 0xFFu});
        image.pixels[i] |= ((coverage * alpha + 127) / 255) << 24;
    }
    return image;
}

}  // namespace backends::win32
