#pragma once
// The graphics operations the rendering calls, in Direct3D 9 terms, so that a device can
// pass them straight to Direct3D 9 or emulate its fixed-function pipeline (the OpenGL device
// does); the recording device of the tests keeps every call.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/image.h"
#include "base/matrix.h"
#include "base/mesh_data.h"
#include "base/result.h"

namespace device {

// Numbers as Direct3D 9 defines them, so that recorded calls read like the real ones.
enum class TransformState : std::uint32_t { View = 2, Projection = 3, World = 256 };
enum class RenderState : std::uint32_t {
    SrcBlend = 19,
    DestBlend = 20,
    AlphaBlendEnable = 27,
    SpecularEnable = 29,
    Lighting = 137,
};
enum class TextureStageState : std::uint32_t {
    ColorOp = 1,
    ColorArg1 = 2,
    ColorArg2 = 3,
    AlphaOp = 4,
    AlphaArg1 = 5,
    AlphaArg2 = 6,
};
enum class PrimitiveType : std::uint32_t { TriangleList = 4, TriangleStrip = 5 };

constexpr std::uint32_t kClearTarget = 1;
constexpr std::uint32_t kClearZBuffer = 2;
// Texture-stage operations and arguments.
constexpr std::uint32_t kTopDisable = 1;
constexpr std::uint32_t kTopSelectArg1 = 2;
constexpr std::uint32_t kTopSelectArg2 = 3;
constexpr std::uint32_t kTopModulate = 4;
constexpr std::uint32_t kTaDiffuse = 0;
constexpr std::uint32_t kTaCurrent = 1;
constexpr std::uint32_t kTaTexture = 2;
// Blend factors.
constexpr std::uint32_t kBlendZero = 1;
constexpr std::uint32_t kBlendOne = 2;
constexpr std::uint32_t kBlendSrcColor = 3;
constexpr std::uint32_t kBlendInvSrcColor = 4;
constexpr std::uint32_t kBlendSrcAlpha = 5;
constexpr std::uint32_t kBlendInvSrcAlpha = 6;
constexpr std::uint32_t kBlendDestAlpha = 7;
constexpr std::uint32_t kBlendInvDestAlpha = 8;
constexpr std::uint32_t kBlendDestColor = 9;
constexpr std::uint32_t kBlendInvDestColor = 10;
constexpr std::uint32_t kFvfXyzrhwDiffuseTex1 = 0x144;

enum class LightType : std::uint32_t { None = 0, Point = 1, Spot = 2, Directional = 3 };

struct Light {
    LightType type = LightType::None;
    base::ColourValue diffuse;
    base::ColourValue specular;
    base::ColourValue ambient;
    float position[3]{};
    float direction[3]{};
    friend bool operator==(const Light&, const Light&) = default;
};

class Texture {
public:
    virtual ~Texture() = default;
};

class VertexBuffer {
public:
    virtual ~VertexBuffer() = default;
    // A writable view of the whole buffer, or null when it cannot be locked.
    virtual void* lock() = 0;
    virtual void unlock() = 0;
};

class Mesh {
public:
    virtual ~Mesh() = default;
};

class TextFont {
public:
    virtual ~TextFont() = default;
    // Draws UTF-8 text from (x, y), the top-left corner; line feeds start new lines.
    virtual void drawText(int x, int y, const std::string& text, std::uint32_t colour) = 0;
};

class GraphicsDevice {
public:
    virtual ~GraphicsDevice() = default;

    virtual void beginScene() = 0;
    virtual void clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t stencil) = 0;
    virtual void endScene() = 0;
    virtual void present() = 0;
    // Shows the last presented frame again where the device still holds it (damage repaired
    // while no frame is drawn, as during a move of the capture frame); otherwise nothing.
    virtual void presentAgain() {}

    virtual void setTransform(TransformState state, const base::Matrix& matrix) = 0;
    virtual void setMaterial(const base::Material& material) = 0;
    virtual void setTexture(int stage, Texture* texture) = 0;
    virtual void setLight(int index, const Light& light) = 0;
    virtual void lightEnable(int index, bool enable) = 0;
    virtual void setRenderState(RenderState state, std::uint32_t value) = 0;
    virtual void setTextureStageState(int stage, TextureStageState state, std::uint32_t value) = 0;

    virtual std::unique_ptr<VertexBuffer> createVertexBuffer(std::uint32_t length, std::uint32_t fvf) = 0;
    virtual void setStreamSource(int stream, VertexBuffer* buffer, std::uint32_t offset,
                                 std::uint32_t stride) = 0;
    virtual void setFvf(std::uint32_t fvf) = 0;
    virtual void drawPrimitive(PrimitiveType type, std::uint32_t startVertex,
                               std::uint32_t primitiveCount) = 0;

    virtual std::unique_ptr<Mesh> createMesh(const base::MeshData& data) = 0;
    virtual void drawSubset(Mesh& mesh, std::uint32_t attributeId) = 0;

    // Null when the picture cannot become a texture.
    virtual std::unique_ptr<Texture> createTexture(const base::Image& image) = 0;
    // Null when no font can be made.
    virtual std::unique_ptr<TextFont> createTextFont(int height) = 0;
};

// Makes the device on the viewer with a back buffer of width x height, or says why it cannot.
// The programs' mains pair a window backend with a device backend through one of these.
using DeviceFactory = std::function<base::Result<std::unique_ptr<GraphicsDevice>>(int width, int height)>;

}  // namespace device
