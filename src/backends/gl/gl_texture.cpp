#include "backends/gl/gl_texture.h"

#include "backends/gl/gl_api.h"

namespace backends::gl {

GlTexture::GlTexture(const base::Image& image, TextureEdges edges) {
    const GLint addressing = edges == TextureEdges::Wrap ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    glGenTextures(1, &id_);
    glBindTexture(GL_TEXTURE_2D, id_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, addressing);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, addressing);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // 0xAARRGGBB words are the bytes blue, green, red, alpha.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width, image.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 image.pixels.data());
}

GlTexture::~GlTexture() {
    glDeleteTextures(1, &id_);
}

}  // namespace backends::gl
