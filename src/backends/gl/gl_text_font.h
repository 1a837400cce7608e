#pragma once
// The text font of the OpenGL device: each distinct text and colour is painted once by the
// shell's painter, kept as a texture, and blended over the back buffer whenever it is drawn.
// Implements: drawText at a back-buffer pixel, whatever the device's blend state, which it leaves
// as it was. Not implemented: clipping rectangles, formats, and text measuring.
#include <memory>
#include <string>

#include "backends/gl/gl_texture.h"
#include "device/graphics_device.h"
#include "device/text_cache.h"
#include "device/text_painter.h"

namespace backends::gl {

class GlDevice;

class GlTextFont final : public device::TextFont {
public:
    // The device and the painter must outlive the font.
    GlTextFont(GlDevice& device, device::TextPainter& painter, int pixelHeight);
    void drawText(int x, int y, const std::string& text, std::uint32_t colour) override;

private:
    GlDevice& device_;
    device::TextCache<std::unique_ptr<GlTexture>> pictures_;
};

}  // namespace backends::gl
