#pragma once
// The Direct3D 9 device on the viewer window: a 5-6-5 back buffer with a 16-bit depth buffer,
// presented once per display refresh, and the fixed-function pipeline's states passed straight
// through. Meshes, textures and text are made without D3DX, which stock Windows lacks: meshes
// from the core's mesh data, textures from the core's pictures, text from the shell's painter.
// Implements: every operation of the device interface, a lost device's recovery (reset, then
// every state the core has set set again), and the back buffer's pixels for the tests. Not
// implemented: full-screen modes, multisampling, a stencil buffer, and back-buffer formats other
// than 5-6-5 and, where no device takes that, X8R8G8B8.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "backends/d3d9/d3d9_api.h"
#include "base/result.h"
#include "device/graphics_device.h"
#include "device/text_painter.h"

namespace backends::d3d9 {

// Makes the device on the window that `window` gives when App asks for its device, with texts
// from the painter that `painter` gives, then calls `made`: how a main pairs a window backend
// with this device.
device::DeviceFactory deviceFactory(std::function<HWND()> window,
                                    std::function<std::unique_ptr<device::TextPainter>()> painter,
                                    std::function<void()> made);

class D3d9Device final : public device::GraphicsDevice {
public:
    // The device on `window`'s client area with a back buffer of width x height; without a
    // painter it makes no text font.
    static base::Result<std::unique_ptr<D3d9Device>> create(HWND window,
                                                            std::unique_ptr<device::TextPainter> painter,
                                                            int width, int height);
    D3d9Device(const D3d9Device&) = delete;
    D3d9Device& operator=(const D3d9Device&) = delete;

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

    // The back buffer's pixels as 0xAARRGGBB, top row first, as the next present would show.
    base::Image readBackBuffer();

private:
    // What the core has set, so that it can be set again after a reset, which returns every
    // state of the device to its default.
    struct Stream {
        ComPtr<IDirect3DVertexBuffer9> buffer;
        UINT offset = 0;
        UINT stride = 0;
    };
    struct KeptStates {
        std::map<D3DTRANSFORMSTATETYPE, D3DMATRIX> transforms;
        std::optional<D3DMATERIAL9> material;
        std::map<DWORD, D3DLIGHT9> lights;
        std::map<DWORD, bool> lightsEnabled;
        std::map<D3DRENDERSTATETYPE, DWORD> renderStates;
        std::map<std::pair<DWORD, D3DTEXTURESTAGESTATETYPE>, DWORD> stageStates;
        std::map<DWORD, ComPtr<IDirect3DBaseTexture9>> textures;
        std::map<UINT, Stream> streams;
        std::optional<DWORD> fvf;
    };

    D3d9Device(ComPtr<IDirect3D9> direct3D, ComPtr<IDirect3DDevice9> device,
               const D3DPRESENT_PARAMETERS& parameters, std::unique_ptr<device::TextPainter> painter);
    void recoverLostDevice();
    void applyKeptStates();

    // First, so that they are released after everything made from them.
    ComPtr<IDirect3D9> direct3D_;
    ComPtr<IDirect3DDevice9> device_;
    D3DPRESENT_PARAMETERS parameters_;
    std::unique_ptr<device::TextPainter> painter_;
    bool powerOfTwoTextures_;
    bool lost_ = false;
    KeptStates kept_;
};

}  // namespace backends::d3d9
