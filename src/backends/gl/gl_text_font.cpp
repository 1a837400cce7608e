#include "backends/gl/gl_text_font.h"

#include "backends/gl/gl_device.h"

namespace backends::gl {

GlTextFont::GlTextFont(GlDevice& device, device::TextPainter& painter, int pixelHeight)
    : device_(device), pictures_(painter, pixelHeight, [](const base::Image& image) {
          return std::make_unique<GlTexture>(image, TextureEdges::Clamp);
      }) {}

void GlTextFont::drawText(int x, int y, const std::string& text, std::uint32_t colour) {
    const auto& picture = pictures_.picture(text, colour);
    device_.drawPicture(*picture.texture, x, y, picture.width, picture.height);
}

}  // namespace backends::gl
