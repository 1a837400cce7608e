#pragma once
// The translucent, tinted, textured rectangle drawn over the 3D view in back-buffer pixels.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "device/graphics_device.h"
#include "platform/image_decoder.h"

namespace render {

// A pre-transformed vertex with a diffuse colour and one texture coordinate pair (FVF 0x144).
struct OverlayVertex {
    float x, y, z, rhw;
    std::uint32_t colour;
    float u, v;
};
static_assert(sizeof(OverlayVertex) == 28);

class OverlayQuad {
public:
    explicit OverlayQuad(device::GraphicsDevice& device);
    OverlayQuad(const OverlayQuad&) = delete;
    OverlayQuad& operator=(const OverlayQuad&) = delete;

    // 1 when the texture was loaded, 0 when not (the rectangle then shows its plain colour).
    int loadTexture(platform::ImageDecoder& decoder, const std::string& path);
    void setColour(std::uint32_t colour);
    void placeAndDraw(float x, float y, float w, float h);

    const std::array<OverlayVertex, 4>& vertices() const { return vertices_; }
    device::Texture* texture() const { return texture_.get(); }

private:
    device::GraphicsDevice& device_;
    std::unique_ptr<device::VertexBuffer> vertexBuffer_;
    std::unique_ptr<device::Texture> texture_;
    std::array<OverlayVertex, 4> vertices_;
};

}  // namespace render
