#pragma once
// Implements device::TextPainter with Qt: the viewer's texts painted in the Japanese gothic face.
// Does not keep the pictures: the device keeps them as textures.
#include "device/text_painter.h"

namespace backends::qt {

// Text painted by Qt in the Japanese gothic face.
class QtTextPainter final : public device::TextPainter {
public:
    base::Image paint(const std::string& text, std::uint32_t colour, int pixelHeight) override;
};

}  // namespace backends::qt
