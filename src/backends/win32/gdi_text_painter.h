#pragma once
// Text for the viewer drawn by GDI in the Japanese gothic face, as pictures the Direct3D 9
// device turns into textures.
#include <memory>

#include "device/text_painter.h"

namespace backends::win32 {

class GdiTextPainter final : public device::TextPainter {
public:
    GdiTextPainter();
    ~GdiTextPainter() override;
    GdiTextPainter(const GdiTextPainter&) = delete;
    GdiTextPainter& operator=(const GdiTextPainter&) = delete;

    base::Image paint(const std::string& text, std::uint32_t colour, int pixelHeight) override;

private:
    struct Fonts;
    std::unique_ptr<Fonts> fonts_;
};

}  // namespace backends::win32
