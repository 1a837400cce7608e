#pragma once
// A texture of the OpenGL device, made from one of the core's pictures on the current context.
// Implements: one RGBA8 level with point sampling, wrapped or clamped at the edges, as
// Direct3D 9's default sampler states read a texture. Not implemented: mipmaps, other filters,
// sampler states, formats other than 32-bit colour.
#include "base/image.h"
#include "device/graphics_device.h"

namespace backends::gl {

enum class TextureEdges { Wrap, Clamp };

class GlTexture final : public device::Texture {
public:
    GlTexture(const base::Image& image, TextureEdges edges);
    ~GlTexture() override;
    GlTexture(const GlTexture&) = delete;
    GlTexture& operator=(const GlTexture&) = delete;
    unsigned id() const { return id_; }

private:
    unsigned id_ = 0;
};

}  // namespace backends::gl
