#include "platform/gl/gl_text_font.h"

#include "platform/gl/gl_api.h"
#include "platform/gl/gl_device.h"

namespace platform::gl {

namespace {
// The value texts change while keys are held; an upper bound keeps the cache small.
constexpr std::size_t kMaxCachedTexts = 64;
}  // namespace

GlTextFont::GlTextFont(GlDevice& device, TextPainter& painter, int pixelHeight)
    : device_(device), painter_(painter), pixelHeight_(pixelHeight) {}

GlTextFont::~GlTextFont() {
    forgetAll();
}

void GlTextFont::forgetAll() {
    for (auto& [key, picture] : cache_) glDeleteTextures(1, &picture.texture);
    cache_.clear();
}

GlTextFont::Picture GlTextFont::make(const std::string& text, std::uint32_t colour) {
    const base::Image image = painter_.paint(text, colour, pixelHeight_);
    Picture picture{0, image.width, image.height};
    glGenTextures(1, &picture.texture);
    glBindTexture(GL_TEXTURE_2D, picture.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // 0xAARRGGBB words are the bytes blue, green, red, alpha.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width, image.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    return picture;
}

void GlTextFont::drawText(int x, int y, const std::string& text, std::uint32_t colour) {
    const auto key = std::make_pair(text, colour);
    auto it = cache_.find(key);
    if (it == cache_.end()) {
        if (cache_.size() >= kMaxCachedTexts) forgetAll();
        it = cache_.emplace(key, make(text, colour)).first;
    }
    device_.drawPicture(it->second.texture, x, y, it->second.width, it->second.height);
}

}  // namespace platform::gl
