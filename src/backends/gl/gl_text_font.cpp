#include "backends/gl/gl_text_font.h"

#include "backends/gl/gl_device.h"

namespace backends::gl {

namespace {
// The value texts change while keys are held; an upper bound keeps the cache small.
constexpr std::size_t kMaxCachedTexts = 64;
}  // namespace

GlTextFont::GlTextFont(GlDevice& device, device::TextPainter& painter, int pixelHeight)
    : device_(device), painter_(painter), pixelHeight_(pixelHeight) {}

GlTextFont::Picture GlTextFont::make(const std::string& text, std::uint32_t colour) {
    const base::Image image = painter_.paint(text, colour, pixelHeight_);
    return {std::make_unique<GlTexture>(image, TextureEdges::Clamp), image.width, image.height};
}

void GlTextFont::drawText(int x, int y, const std::string& text, std::uint32_t colour) {
    const auto key = std::make_pair(text, colour);
    auto it = cache_.find(key);
    if (it == cache_.end()) {
        if (cache_.size() >= kMaxCachedTexts) cache_.clear();
        it = cache_.emplace(key, make(text, colour)).first;
    }
    device_.drawPicture(*it->second.texture, x, y, it->second.width, it->second.height);
}

}  // namespace backends::gl
