#pragma once
// Text drawn by the window system's font engine into a picture, which a device then keeps as
// a texture. Each backend's shell provides one (Qt on Linux, GDI on Windows).
#include <cstdint>
#include <string>

#include "base/image.h"

namespace device {

class TextPainter {
public:
    virtual ~TextPainter() = default;
    // `text` (UTF-8; line feeds start new lines) in `colour` (0xAARRGGBB) on transparent
    // pixels, the first line's top at row 0, in the Japanese gothic face at `pixelHeight`;
    // alpha is not premultiplied.
    virtual base::Image paint(const std::string& text, std::uint32_t colour, int pixelHeight) = 0;
};

}  // namespace device
