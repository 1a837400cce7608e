#pragma once
// Implements device::GraphicsDevice for tests: keeps every call in order and the state it leaves.
// Does not: draw a pixel (the device tests check pixels on the real devices).
#include <map>
#include <string>
#include <vector>

#include "device/graphics_device.h"

namespace backends::fake {

struct DrawnText {
    int x;
    int y;
    std::string text;
    std::uint32_t colour;
};

class RecordingDevice final : public device::GraphicsDevice {
public:
    // Every call as one line, for example "setRenderState 27 1" or "drawSubset 0".
    std::vector<std::string> calls;
    std::map<device::TransformState, base::Matrix> transforms;
    std::map<device::RenderState, std::uint32_t> renderStates;
    std::map<device::TextureStageState, std::uint32_t> stageStates;
    std::map<int, device::Light> lights;
    std::vector<base::Material> materialsSet;
    std::vector<DrawnText> texts;
    std::vector<std::uint8_t> lastVertexUpload;  // the bytes last unlocked in a vertex buffer
    std::uint32_t lastClearColour = 0;
    base::MeshData lastMeshData;  // what the last createMesh was given
    bool failVertexBufferLock = false;
    bool failVertexBufferCreation = false;
    bool failTextFont = false;
    int presentCount = 0;

    // How many recorded calls start with the words of `prefix`.
    int count(const std::string& prefix) const;
    // Index of the first call starting with `prefix` at or after `from`, or -1.
    int find(const std::string& prefix, int from = 0) const;

    void beginScene() override;
    void clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t stencil) override;
    void endScene() override;
    void present() override;
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
};

}  // namespace backends::fake
