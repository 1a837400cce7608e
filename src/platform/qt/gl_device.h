#pragma once
// OpenGL 3.3 device that behaves like a Direct3D 9 device with the fixed-function pipeline.
// Implements: scene bracket, clear, present into a 5-6-5 back buffer with a 16-bit depth
// buffer, transforms, one directional light, materials, texture stage 0 with point sampling
// and wrap addressing, alpha blending, counter-clockwise culling, pre-transformed vertices,
// meshes drawn by subset, and the text font. Not implemented: lights other than one
// directional light, fog, sampler states, stages above 0.
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QWindow>
#include <array>
#include <map>
#include <memory>

#include "render/graphics_device.h"

namespace platform::qt {

class GlDevice final : public render::GraphicsDevice {
public:
    // Makes the context on `window` (which must have an OpenGL surface); null with a reason.
    static std::unique_ptr<GlDevice> create(QWindow& window, int width, int height, std::string& error);
    ~GlDevice() override;

    void beginScene() override;
    void clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t stencil) override;
    void endScene() override;
    void present() override;
    void setTransform(render::TransformState state, const render::Matrix& matrix) override;
    void setMaterial(const render::Material& material) override;
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
    std::unique_ptr<render::Mesh> createMesh(const render::MeshData& data) override;
    void drawSubset(render::Mesh& mesh, std::uint32_t attributeId) override;
    std::unique_ptr<render::Texture> createTexture(const render::Image& image) override;
    std::unique_ptr<render::TextFont> createTextFont(int height) override;

    QOpenGLFunctions_3_3_Core& gl() { return gl_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Blends a premultiplied-free RGBA picture at (x, y) in back-buffer pixels (used by the font).
    void drawPicture(unsigned texture, int x, int y, int w, int h);
    // The back buffer's pixels as 0xAARRGGBB, top row first (for tests and diagnostics).
    render::Image readBackBuffer();

private:
    GlDevice(QWindow& window, int width, int height);
    bool initialise(std::string& error);
    void applyStageUniforms(unsigned program, bool lit);
    void applyBlend();

    QWindow& window_;
    std::unique_ptr<QOpenGLContext> context_;
    QOpenGLFunctions_3_3_Core gl_;
    int width_;
    int height_;
    unsigned framebuffer_ = 0, colourBuffer_ = 0, depthBuffer_ = 0;
    unsigned litProgram_ = 0, pretransformedProgram_ = 0, textProgram_ = 0;
    unsigned streamVao_ = 0, textVao_ = 0, textVbo_ = 0;

    render::Matrix world_ = render::Matrix::identity();
    render::Matrix view_ = render::Matrix::identity();
    render::Matrix projection_ = render::Matrix::identity();
    render::Material material_{};
    std::map<int, render::Light> lights_;
    std::map<int, bool> lightEnabled_;
    std::map<render::RenderState, std::uint32_t> renderStates_;
    std::array<std::uint32_t, 33> stageStates_{};
    render::Texture* texture_ = nullptr;
    render::VertexBuffer* stream_ = nullptr;
    std::uint32_t streamOffset_ = 0;
    std::uint32_t streamStride_ = 0;
};

}  // namespace platform::qt
