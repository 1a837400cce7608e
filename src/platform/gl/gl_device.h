#pragma once
// An OpenGL 3.3 device that behaves like a Direct3D 9 device with the fixed-function pipeline.
// Implements: scene bracket, clear, present of a 5-6-5 back buffer with a 16-bit depth
// buffer, transforms, one directional light, materials, texture stage 0 (disable, select and
// modulate with the texture, diffuse and current arguments) with point sampling and wrap
// addressing, alpha blending, counter-clockwise culling, pre-transformed vertices, meshes drawn
// by subset, and the text font. Not implemented: lights other than one directional light, fog,
// sampler states, stages above 0.
#include <map>
#include <memory>

#include "base/result.h"
#include "platform/gl/gl_context.h"
#include "render/graphics_device.h"

namespace platform::gl {

// A texture of `image` with point sampling, wrapping or clamped at the edges; the current
// context's. Returns its name.
unsigned uploadTexture(const base::Image& image, bool wrap);

class GlDevice final : public render::GraphicsDevice {
public:
    // The device on `context`'s surface; it keeps the context and the painter.
    static base::Result<std::unique_ptr<GlDevice>> create(std::unique_ptr<GlContext> context,
                                                          std::unique_ptr<TextPainter> painter, int width,
                                                          int height);
    ~GlDevice() override;
    GlDevice(const GlDevice&) = delete;
    GlDevice& operator=(const GlDevice&) = delete;

    void beginScene() override;
    void clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t stencil) override;
    void endScene() override;
    void present() override;
    void setTransform(render::TransformState state, const base::Matrix& matrix) override;
    void setMaterial(const base::Material& material) override;
    void setTexture(int stage, render::Texture* texture) override;
    void setLight(int index, const render::Light& light) override;
    void lightEnable(int index, bool enable) override;
    void setRenderState(render::RenderState state, std::uint32_t value) override;
    void setTextureStageState(int stage, render::TextureStageState state, std::uint32_t value) override;
    std::unique_ptr<render::VertexBuffer> createVertexBuffer(std::uint32_t length,
                                                             std::uint32_t fvf) override;
    void setStreamSource(int stream, render::VertexBuffer* buffer, std::uint32_t offset,
                         std::uint32_t stride) override;
    void setFvf(std::uint32_t fvf) override;
    void drawPrimitive(render::PrimitiveType type, std::uint32_t startVertex,
                       std::uint32_t primitiveCount) override;
    std::unique_ptr<render::Mesh> createMesh(const base::MeshData& data) override;
    void drawSubset(render::Mesh& mesh, std::uint32_t attributeId) override;
    std::unique_ptr<render::Texture> createTexture(const base::Image& image) override;
    std::unique_ptr<render::TextFont> createTextFont(int height) override;

    // Blends a straight-alpha RGBA texture at (x, y) in back-buffer pixels (for the font).
    void drawPicture(unsigned texture, int x, int y, int w, int h);
    // The back buffer's pixels as 0xAARRGGBB, top row first, as the next present would show.
    base::Image readBackBuffer();

private:
    // Texture stage 0 as Direct3D 9 starts it.
    struct StageStates {
        std::uint32_t colourOp = render::kTopModulate;
        std::uint32_t colourArg1 = render::kTaTexture;
        std::uint32_t colourArg2 = render::kTaCurrent;
        std::uint32_t alphaOp = render::kTopSelectArg1;
        std::uint32_t alphaArg1 = render::kTaTexture;
        std::uint32_t alphaArg2 = render::kTaCurrent;
    };

    GlDevice(std::unique_ptr<GlContext> context, std::unique_ptr<TextPainter> painter, int width, int height);
    bool initialise(std::string& error);
    void applyStageUniforms(unsigned program, bool lit);
    void applyBlend();

    // First, so that it is released last, after every GL object.
    std::unique_ptr<GlContext> context_;
    std::unique_ptr<TextPainter> painter_;
    int width_;
    int height_;
    unsigned framebuffer_ = 0, colourBuffer_ = 0, depthBuffer_ = 0;
    unsigned litProgram_ = 0, pretransformedProgram_ = 0, textProgram_ = 0;
    unsigned streamVao_ = 0, textVao_ = 0, textVbo_ = 0;

    base::Matrix world_ = base::Matrix::identity();
    base::Matrix view_ = base::Matrix::identity();
    base::Matrix projection_ = base::Matrix::identity();
    base::Material material_{};
    std::map<int, render::Light> lights_;
    std::map<int, bool> lightEnabled_;
    std::map<render::RenderState, std::uint32_t> renderStates_;
    StageStates stage0_;
    render::Texture* texture_ = nullptr;
    render::VertexBuffer* stream_ = nullptr;
    std::uint32_t streamOffset_ = 0;
    std::uint32_t streamStride_ = 0;
};

}  // namespace platform::gl
