#pragma once
// An OpenGL 3.3 device that behaves like a Direct3D 9 device with the fixed-function pipeline.
// Implements: scene bracket, clear, present of a 5-6-5 back buffer with a 16-bit depth
// buffer, transforms, one directional light, materials, texture stage 0 (disable, select and
// modulate with the texture, diffuse and current arguments) with point sampling and wrap
// addressing, alpha blending, counter-clockwise culling, pre-transformed vertices, meshes drawn
// by subset, and the text font. Not implemented: lights other than one directional light, fog,
// sampler states, stages above 0.
#include <functional>
#include <map>
#include <memory>

#include "base/result.h"
#include "device/gl_context.h"
#include "device/graphics_device.h"

namespace backends::gl {

class GlTexture;

// Makes the device on the context that `context` gives when App asks for its device, with texts
// from the painter that `painter` gives: how a main pairs a window backend with this device.
device::DeviceFactory deviceFactory(std::function<base::Result<std::unique_ptr<device::GlContext>>()> context,
                                    std::function<std::unique_ptr<device::TextPainter>()> painter);

class GlDevice final : public device::GraphicsDevice {
public:
    // The device on `context`'s surface; it keeps the context and the painter.
    static base::Result<std::unique_ptr<GlDevice>> create(std::unique_ptr<device::GlContext> context,
                                                          std::unique_ptr<device::TextPainter> painter,
                                                          int width, int height);
    ~GlDevice() override;
    GlDevice(const GlDevice&) = delete;
    GlDevice& operator=(const GlDevice&) = delete;

    void beginScene() override;
    void clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t stencil) override;
    void endScene() override;
    void present() override;
    void presentAgain() override;
    void setTransform(device::TransformState state, const base::Matrix& matrix) override;
    void setMaterial(const base::Material& material) override;
    void setTexture(int stage, device::Texture* texture) override;
    void setLight(int index, const device::Light& light) override;
    void lightEnable(int index, bool enable) override;
    void setRenderState(device::RenderState state, std::uint32_t value) override;
    void setTextureStageState(int stage, device::TextureStageState state, std::uint32_t value) override;
    std::unique_ptr<device::VertexBuffer> createVertexBuffer(std::uint32_t length,
                                                             std::uint32_t fvf) override;
    void setStreamSource(int stream, device::VertexBuffer* buffer, std::uint32_t offset,
                         std::uint32_t stride) override;
    void setFvf(std::uint32_t fvf) override;
    void drawPrimitive(device::PrimitiveType type, std::uint32_t startVertex,
                       std::uint32_t primitiveCount) override;
    std::unique_ptr<device::Mesh> createMesh(const base::MeshData& data) override;
    void drawSubset(device::Mesh& mesh, std::uint32_t attributeId) override;
    std::unique_ptr<device::Texture> createTexture(const base::Image& image) override;
    std::unique_ptr<device::TextFont> createTextFont(int height) override;

    // Blends a straight-alpha RGBA texture at (x, y) in back-buffer pixels (for the font).
    void drawPicture(const GlTexture& texture, int x, int y, int w, int h);
    // The back buffer's pixels as 0xAARRGGBB, top row first, as the next present would show.
    base::Image readBackBuffer();

    // What a mesh or stage program does (see the shaders).
    static constexpr unsigned kLight = 1, kSpecular = 2, kTexture = 4, kVertexColour = 8;

private:
    // Texture stage 0 as Direct3D 9 starts it.
    struct StageStates {
        std::uint32_t colourOp = device::kTopModulate;
        std::uint32_t colourArg1 = device::kTaTexture;
        std::uint32_t colourArg2 = device::kTaCurrent;
        std::uint32_t alphaOp = device::kTopSelectArg1;
        std::uint32_t alphaArg1 = device::kTaTexture;
        std::uint32_t alphaArg2 = device::kTaCurrent;
    };

    GlDevice(std::unique_ptr<device::GlContext> context, std::unique_ptr<device::TextPainter> painter,
             int width, int height);
    base::Status initialise();
    // The program for a draw with these features (made the first time), or 0 if it did not build.
    unsigned program(unsigned features);
    void applyStageUniforms(unsigned program);
    void applyBlend();
    // Draws `texture` with the picture program on a quad given as x, y, u, v per corner in
    // pixels of a target `width` x `height` pixels (top-left, top-right, bottom-left,
    // bottom-right), leaving blending and depth to the caller.
    void drawQuad(unsigned texture, float width, float height, const float (&corners)[16]);

    // First, so that it is released last, after every GL object.
    std::unique_ptr<device::GlContext> context_;
    std::unique_ptr<device::TextPainter> painter_;
    int width_;
    int height_;
    unsigned framebuffer_ = 0, colourTexture_ = 0, depthBuffer_ = 0;
    std::map<unsigned, unsigned> programs_;  // by features
    unsigned textProgram_ = 0;
    unsigned streamVao_ = 0, textVao_ = 0, textVbo_ = 0;

    base::Matrix world_ = base::Matrix::identity();
    base::Matrix view_ = base::Matrix::identity();
    base::Matrix projection_ = base::Matrix::identity();
    base::Material material_{};
    std::map<int, device::Light> lights_;
    std::map<int, bool> lightEnabled_;
    std::map<device::RenderState, std::uint32_t> renderStates_;
    StageStates stage0_;
    device::Texture* texture_ = nullptr;
    device::VertexBuffer* stream_ = nullptr;
    std::uint32_t streamOffset_ = 0;
    std::uint32_t streamStride_ = 0;
};

}  // namespace backends::gl
