#include "render/overlay_quad.h"

#include <cstring>

#include "render/texture_loader.h"

namespace render {

OverlayQuad::OverlayQuad(device::GraphicsDevice& device)
    : device_(device),
      vertices_{{{0, 0, 0.0f, 1.0f, 0xFFFFFFFFu, 0.0f, 0.0f},
                 {0, 0, 0.0f, 1.0f, 0xFFFFFFFFu, 1.0f, 0.0f},
                 {0, 0, 0.0f, 1.0f, 0xFFFFFFFFu, 0.0f, 1.0f},
                 {0, 0, 0.0f, 1.0f, 0xFFFFFFFFu, 1.0f, 1.0f}}} {
    vertexBuffer_ = device_.createVertexBuffer(sizeof(vertices_), device::kFvfXyzrhwDiffuseTex1);
}

int OverlayQuad::loadTexture(platform::ImageDecoder& decoder, const std::string& path) {
    texture_ = loadTextureFromFile(device_, decoder, path);
    return texture_ ? 1 : 0;
}

void OverlayQuad::setColour(std::uint32_t colour) {
    for (auto& v : vertices_) v.colour = colour;
}

void OverlayQuad::placeAndDraw(float x, float y, float w, float h) {
    vertices_[0].x = x;
    vertices_[0].y = y;
    vertices_[1].x = x + w;
    vertices_[1].y = y;
    vertices_[2].x = x;
    vertices_[2].y = y + h;
    vertices_[3].x = x + w;
    vertices_[3].y = y + h;

    // Without a buffer, or when it cannot be locked, this frame shows no rectangle.
    if (!vertexBuffer_) return;
    void* memory = vertexBuffer_->lock();
    if (!memory) return;
    std::memcpy(memory, vertices_.data(), sizeof(vertices_));
    vertexBuffer_->unlock();

    device_.setTextureStageState(0, device::TextureStageState::AlphaOp, device::kTopModulate);
    device_.setTextureStageState(0, device::TextureStageState::ColorArg1, device::kTaTexture);
    device_.setTextureStageState(0, device::TextureStageState::ColorArg2, device::kTaDiffuse);
    device_.setRenderState(device::RenderState::AlphaBlendEnable, 1);
    device_.setRenderState(device::RenderState::SrcBlend, device::kBlendSrcAlpha);
    device_.setRenderState(device::RenderState::DestBlend, device::kBlendInvSrcAlpha);
    device_.setTexture(0, texture_.get());
    device_.setStreamSource(0, vertexBuffer_.get(), 0, sizeof(OverlayVertex));
    device_.setFvf(device::kFvfXyzrhwDiffuseTex1);
    device_.drawPrimitive(device::PrimitiveType::TriangleStrip, 0, 2);
    device_.setRenderState(device::RenderState::AlphaBlendEnable, 0);
}

}  // namespace render
