#pragma once
// Graphics device double: keeps every call in order and the state it leaves.
#include <map>
#include <string>
#include <vector>

#include "render/graphics_device.h"

namespace platform::fake {

struct DrawnText {
    int x;
    int y;
    std::string text;
    std::uint32_t colour;
};

class RecordingDevice final : public render::GraphicsDevice {
public:
    // Every call as one line, for example "setRenderState 27 1" or "drawSubset 0".
    std::vector<std::string> calls;
    std::map<render::TransformState, base::Matrix> transforms;
    std::map<render::RenderState, std::uint32_t> renderStates;
    std::map<render::TextureStageState, std::uint32_t> stageStates;
    std::map<int, render::Light> lights;
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
};

}  // namespace platform::fake
