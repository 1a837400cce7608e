#include "backends/d3d9/d3d9_device.h"

#include <string>
#include <utility>

#include "backends/d3d9/d3d9_mesh.h"
#include "backends/d3d9/d3d9_text_font.h"
#include "backends/d3d9/d3d9_texture.h"
#include "backends/d3d9/d3d9_vertex_buffer.h"
#include "base/log.h"
#include "base/os/windows_text.h"

namespace backends::d3d9 {

namespace {

D3DCOLORVALUE colourValue(const base::ColourValue& c) {
    return {c.r, c.g, c.b, c.a};
}

D3DMATRIX d3dMatrix(const base::Matrix& matrix) {
    // Both are row-major matrices for row vectors.
    D3DMATRIX out;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) out.m[row][column] = matrix.m[row][column];
    return out;
}

// 5-6-5 channels widened to eight bits by repeating their top bits, so that full stays full.
std::uint32_t argbFromR5G6B5(std::uint16_t p) {
    const std::uint32_t r = (p >> 11) & 0x1F, g = (p >> 5) & 0x3F, b = p & 0x1F;
    return 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

std::uint32_t argbFromX1R5G5B5(std::uint16_t p) {
    const std::uint32_t r = (p >> 10) & 0x1F, g = (p >> 5) & 0x1F, b = p & 0x1F;
    return 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
}

// One attempt per device type and vertex processing, in the order that prefers hardware.
struct Attempt {
    D3DDEVTYPE type;
    DWORD behaviour;
    const char* name;
};
constexpr Attempt kAttempts[] = {
    {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, "HAL, hardware vertex processing"},
    {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING, "HAL, software vertex processing"},
    {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING, "REF, software vertex processing"},
};

}  // namespace

D3d9Device::D3d9Device(ComPtr<IDirect3D9> direct3D, ComPtr<IDirect3DDevice9> device,
                       const D3DPRESENT_PARAMETERS& parameters, std::unique_ptr<device::TextPainter> painter)
    : direct3D_(std::move(direct3D)),
      device_(std::move(device)),
      parameters_(parameters),
      painter_(std::move(painter)),
      powerOfTwoTextures_(needsPowerOfTwoSides(*device_.Get())) {}

void D3d9Device::beginScene() {
    device_->BeginScene();
}

void D3d9Device::clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t stencil) {
    device_->Clear(0, nullptr, flags, colour, z, stencil);
}

void D3d9Device::endScene() {
    device_->EndScene();
}

void D3d9Device::setTransform(device::TransformState state, const base::Matrix& matrix) {
    const auto type = static_cast<D3DTRANSFORMSTATETYPE>(state);
    const D3DMATRIX m = d3dMatrix(matrix);
    kept_.transforms[type] = m;
    device_->SetTransform(type, &m);
}

void D3d9Device::setMaterial(const base::Material& material) {
    const D3DMATERIAL9 m{colourValue(material.diffuse), colourValue(material.ambient),
                         colourValue(material.specular), colourValue(material.emissive), material.power};
    kept_.material = m;
    device_->SetMaterial(&m);
}

void D3d9Device::setTexture(int stage, device::Texture* texture) {
    const auto* ours = dynamic_cast<D3d9Texture*>(texture);
    IDirect3DBaseTexture9* native = ours ? ours->get() : nullptr;
    kept_.textures[static_cast<DWORD>(stage)] = ComPtr<IDirect3DBaseTexture9>(native);
    device_->SetTexture(static_cast<DWORD>(stage), native);
}

void D3d9Device::setLight(int index, const device::Light& light) {
    D3DLIGHT9 l{};
    l.Type = static_cast<D3DLIGHTTYPE>(light.type);
    l.Diffuse = colourValue(light.diffuse);
    l.Specular = colourValue(light.specular);
    l.Ambient = colourValue(light.ambient);
    l.Position = {light.position[0], light.position[1], light.position[2]};
    l.Direction = {light.direction[0], light.direction[1], light.direction[2]};
    kept_.lights[static_cast<DWORD>(index)] = l;
    device_->SetLight(static_cast<DWORD>(index), &l);
}

void D3d9Device::lightEnable(int index, bool enable) {
    kept_.lightsEnabled[static_cast<DWORD>(index)] = enable;
    device_->LightEnable(static_cast<DWORD>(index), enable ? TRUE : FALSE);
}

void D3d9Device::setRenderState(device::RenderState state, std::uint32_t value) {
    const auto type = static_cast<D3DRENDERSTATETYPE>(state);
    kept_.renderStates[type] = value;
    device_->SetRenderState(type, value);
}

void D3d9Device::setTextureStageState(int stage, device::TextureStageState state, std::uint32_t value) {
    const auto type = static_cast<D3DTEXTURESTAGESTATETYPE>(state);
    kept_.stageStates[{static_cast<DWORD>(stage), type}] = value;
    device_->SetTextureStageState(static_cast<DWORD>(stage), type, value);
}

std::unique_ptr<device::VertexBuffer> D3d9Device::createVertexBuffer(std::uint32_t length,
                                                                     std::uint32_t fvf) {
    ComPtr<IDirect3DVertexBuffer9> buffer;
    // Managed, so that the buffer and its contents survive a reset of the device.
    if (FAILED(device_->CreateVertexBuffer(length, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED,
                                           buffer.ReleaseAndGetAddressOf(), nullptr)))
        return nullptr;
    return std::make_unique<D3d9VertexBuffer>(std::move(buffer));
}

void D3d9Device::setStreamSource(int stream, device::VertexBuffer* buffer, std::uint32_t offset,
                                 std::uint32_t stride) {
    const auto* ours = dynamic_cast<D3d9VertexBuffer*>(buffer);
    IDirect3DVertexBuffer9* native = ours ? ours->get() : nullptr;
    kept_.streams[static_cast<UINT>(stream)] = {ComPtr<IDirect3DVertexBuffer9>(native), offset, stride};
    device_->SetStreamSource(static_cast<UINT>(stream), native, offset, stride);
}

void D3d9Device::setFvf(std::uint32_t fvf) {
    kept_.fvf = fvf;
    device_->SetFVF(fvf);
}

void D3d9Device::drawPrimitive(device::PrimitiveType type, std::uint32_t startVertex,
                               std::uint32_t primitiveCount) {
    device_->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(type), startVertex, primitiveCount);
}

std::unique_ptr<device::Mesh> D3d9Device::createMesh(const base::MeshData& data) {
    return D3d9Mesh::create(*device_.Get(), data);
}

void D3d9Device::drawSubset(device::Mesh& mesh, std::uint32_t attributeId) {
    if (const auto* ours = dynamic_cast<D3d9Mesh*>(&mesh)) ours->drawSubset(*device_.Get(), attributeId);
}

std::unique_ptr<device::TextFont> D3d9Device::createTextFont(int height) {
    if (!painter_) return nullptr;
    return std::make_unique<D3d9TextFont>(device_, *painter_, height);
}

void D3d9Device::present() {
    // A frame drawn while the device was lost shows nothing worth presenting: get the device
    // back and let the next frame be drawn on it.
    if (lost_) {
        recoverLostDevice();
        return;
    }
    if (device_->Present(nullptr, nullptr, nullptr, nullptr) == D3DERR_DEVICELOST) lost_ = true;
}

void D3d9Device::recoverLostDevice() {
    const HRESULT level = device_->TestCooperativeLevel();
    if (level == D3DERR_DEVICELOST) return;  // still lost (a locked screen): try next frame
    if (level == D3DERR_DEVICENOTRESET) {
        // Reset may rewrite the parameters it is given; the original ones are kept intact.
        D3DPRESENT_PARAMETERS parameters = parameters_;
        const HRESULT reset = device_->Reset(&parameters);
        if (FAILED(reset)) {
            base::logLine("nukitori: the Direct3D 9 device could not be reset (" + base::hresultText(reset) +
                          ")");
            return;
        }
        applyKeptStates();
    }
    lost_ = false;
}

void D3d9Device::applyKeptStates() {
    for (const auto& [type, matrix] : kept_.transforms) device_->SetTransform(type, &matrix);
    if (kept_.material) device_->SetMaterial(&*kept_.material);
    for (const auto& [index, light] : kept_.lights) device_->SetLight(index, &light);
    for (const auto& [index, enabled] : kept_.lightsEnabled)
        device_->LightEnable(index, enabled ? TRUE : FALSE);
    for (const auto& [type, value] : kept_.renderStates) device_->SetRenderState(type, value);
    for (const auto& [key, value] : kept_.stageStates)
        device_->SetTextureStageState(key.first, key.second, value);
    for (const auto& [stage, texture] : kept_.textures) device_->SetTexture(stage, texture.Get());
    for (const auto& [index, stream] : kept_.streams)
        device_->SetStreamSource(index, stream.buffer.Get(), stream.offset, stream.stride);
    if (kept_.fvf) device_->SetFVF(*kept_.fvf);
}

std::unique_ptr<device::Texture> D3d9Device::createTexture(const base::Image& image) {
    if (image.empty()) return nullptr;
    ComPtr<IDirect3DTexture9> texture;
    if (powerOfTwoTextures_) {
        // Such a device takes no other sides; the picture is stretched to fill them, as D3DX's
        // loader stretches every picture.
        const int width = static_cast<int>(powerOfTwoAtLeast(static_cast<UINT>(image.width)));
        const int height = static_cast<int>(powerOfTwoAtLeast(static_cast<UINT>(image.height)));
        texture = createArgbTexture(*device_.Get(), stretchedNearest(image, width, height),
                                    static_cast<UINT>(width), static_cast<UINT>(height));
    } else {
        texture = createArgbTexture(*device_.Get(), image, static_cast<UINT>(image.width),
                                    static_cast<UINT>(image.height));
    }
    if (!texture) return nullptr;
    return std::make_unique<D3d9Texture>(std::move(texture));
}

base::Image D3d9Device::readBackBuffer() {
    ComPtr<IDirect3DSurface9> back;
    if (FAILED(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.ReleaseAndGetAddressOf())))
        return {};
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    // A render target cannot be locked; its pixels are copied into system memory first.
    ComPtr<IDirect3DSurface9> copy;
    if (FAILED(device_->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                    copy.ReleaseAndGetAddressOf(), nullptr)) ||
        FAILED(device_->GetRenderTargetData(back.Get(), copy.Get())))
        return {};
    D3DLOCKED_RECT locked{};
    if (FAILED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return {};
    base::Image image(static_cast<int>(desc.Width), static_cast<int>(desc.Height));
    bool known = true;
    for (int y = 0; y < image.height && known; ++y) {
        const auto* row =
            static_cast<const std::uint8_t*>(locked.pBits) + static_cast<std::size_t>(y) * locked.Pitch;
        const auto* row16 = reinterpret_cast<const std::uint16_t*>(row);
        const auto* row32 = reinterpret_cast<const std::uint32_t*>(row);
        for (int x = 0; x < image.width; ++x) {
            switch (desc.Format) {
                case D3DFMT_R5G6B5:
                    image.at(x, y) = argbFromR5G6B5(row16[x]);
                    break;
                case D3DFMT_X1R5G5B5:
                case D3DFMT_A1R5G5B5:
                    image.at(x, y) = argbFromX1R5G5B5(row16[x]);
                    break;
                case D3DFMT_X8R8G8B8:
                case D3DFMT_A8R8G8B8:
                    image.at(x, y) = row32[x] | 0xFF000000u;
                    break;
                default:
                    known = false;
                    break;
            }
        }
    }
    copy->UnlockRect();
    return known ? image : base::Image();
}

base::Result<std::unique_ptr<D3d9Device>> D3d9Device::create(HWND window,
                                                             std::unique_ptr<device::TextPainter> painter,
                                                             int width, int height) {
    if (!window || width <= 0 || height <= 0)
        return base::Failure{"the Direct3D 9 device needs a window and a size"};
    ComPtr<IDirect3D9> direct3D;
    direct3D.Attach(Direct3DCreate9(D3D_SDK_VERSION));
    if (!direct3D) return base::Failure{"Direct3DCreate9 gave no Direct3D 9 object"};

    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = static_cast<UINT>(width);
    parameters.BackBufferHeight = static_cast<UINT>(height);
    parameters.BackBufferFormat = D3DFMT_R5G6B5;
    parameters.BackBufferCount = 1;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.MultiSampleQuality = 0;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.hDeviceWindow = window;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.Flags = 0;
    parameters.FullScreen_RefreshRateInHz = 0;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_ONE;

    // The 5-6-5 back buffer first; a 32-bit one only where no device takes that.
    std::string reasons;
    for (const D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
        const char* formatName = format == D3DFMT_R5G6B5 ? "R5G6B5" : "X8R8G8B8";
        parameters.BackBufferFormat = format;
        for (const Attempt& attempt : kAttempts) {
            D3DPRESENT_PARAMETERS given = parameters;
            ComPtr<IDirect3DDevice9> device;
            const HRESULT result =
                direct3D->CreateDevice(D3DADAPTER_DEFAULT, attempt.type, window, attempt.behaviour, &given,
                                       device.ReleaseAndGetAddressOf());
            if (SUCCEEDED(result) && device) {
                if (!reasons.empty())
                    base::logLine("nukitori: Direct3D 9 device on " + std::string(formatName) + ", " +
                                  attempt.name + ", after: " + reasons);
                return std::unique_ptr<D3d9Device>(
                    new D3d9Device(std::move(direct3D), std::move(device), parameters, std::move(painter)));
            }
            reasons += (reasons.empty() ? "" : "; ") + std::string(formatName) + ", " + attempt.name + ": " +
                       base::hresultText(result);
        }
    }
    return base::Failure{"IDirect3D9::CreateDevice failed (" + reasons + ")"};
}

device::DeviceFactory deviceFactory(std::function<HWND()> window,
                                    std::function<std::unique_ptr<device::TextPainter>()> painter,
                                    std::function<void()> made) {
    return [window = std::move(window), painter = std::move(painter), made = std::move(made)](
               int width, int height) -> base::Result<std::unique_ptr<device::GraphicsDevice>> {
        const HWND target = window();
        if (!target) return base::Failure{"the viewer window does not exist"};
        auto device = D3d9Device::create(target, painter(), width, height);
        if (!device) return device.failure();
        if (made) made();
        return std::unique_ptr<device::GraphicsDevice>(std::move(*device));
    };
}

}  // namespace backends::d3d9
