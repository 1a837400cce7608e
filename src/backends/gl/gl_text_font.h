#pragma once
// The text font of the OpenGL device: each distinct text is painted once into a picture, kept
// as a texture, and blended over the back buffer whenever it is drawn again.
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "backends/gl/gl_texture.h"
#include "device/graphics_device.h"
#include "device/text_painter.h"

namespace backends::gl {

class GlDevice;

class GlTextFont final : public device::TextFont {
public:
    GlTextFont(GlDevice& device, device::TextPainter& painter, int pixelHeight);
    void drawText(int x, int y, const std::string& text, std::uint32_t colour) override;

private:
    struct Picture {
        std::unique_ptr<GlTexture> texture;
        int width = 0;
        int height = 0;
    };
    Picture make(const std::string& text, std::uint32_t colour);

    GlDevice& device_;
    device::TextPainter& painter_;
    int pixelHeight_;
    std::map<std::pair<std::string, std::uint32_t>, Picture> cache_;
};

}  // namespace backends::gl
