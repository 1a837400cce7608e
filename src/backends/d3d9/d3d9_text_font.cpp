#include "backends/d3d9/d3d9_text_font.h"

#include "backends/d3d9/d3d9_texture.h"

namespace backends::d3d9 {

namespace {

struct TextVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
constexpr DWORD kTextFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// The states the quad sets, read before and written back after, so that the frame's own
// states are what they were whatever they were.
class SavedStates {
public:
    explicit SavedStates(IDirect3DDevice9& device) : device_(device) {
        for (std::size_t i = 0; i < std::size(kRenderStates); ++i)
            device_.GetRenderState(kRenderStates[i], &renderValues_[i]);
        for (std::size_t i = 0; i < std::size(kStageStates); ++i)
            device_.GetTextureStageState(0, kStageStates[i], &stageValues_[i]);
        device_.GetTexture(0, texture_.ReleaseAndGetAddressOf());
        device_.GetStreamSource(0, stream_.ReleaseAndGetAddressOf(), &streamOffset_, &streamStride_);
        device_.GetFVF(&fvf_);
    }
    ~SavedStates() {
        for (std::size_t i = 0; i < std::size(kRenderStates); ++i)
            device_.SetRenderState(kRenderStates[i], renderValues_[i]);
        for (std::size_t i = 0; i < std::size(kStageStates); ++i)
            device_.SetTextureStageState(0, kStageStates[i], stageValues_[i]);
        device_.SetTexture(0, texture_.Get());
        device_.SetStreamSource(0, stream_.Get(), streamOffset_, streamStride_);
        device_.SetFVF(fvf_);
    }
    SavedStates(const SavedStates&) = delete;
    SavedStates& operator=(const SavedStates&) = delete;

    static constexpr D3DRENDERSTATETYPE kRenderStates[] = {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND,
                                                           D3DRS_DESTBLEND, D3DRS_ZENABLE, D3DRS_CULLMODE};
    static constexpr D3DTEXTURESTAGESTATETYPE kStageStates[] = {D3DTSS_COLOROP, D3DTSS_COLORARG1,
                                                                D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1};

private:
    IDirect3DDevice9& device_;
    DWORD renderValues_[std::size(kRenderStates)]{};
    DWORD stageValues_[std::size(kStageStates)]{};
    ComPtr<IDirect3DBaseTexture9> texture_;
    ComPtr<IDirect3DVertexBuffer9> stream_;
    UINT streamOffset_ = 0;
    UINT streamStride_ = 0;
    DWORD fvf_ = 0;
};

}  // namespace

D3d9TextFont::D3d9TextFont(ComPtr<IDirect3DDevice9> device, device::TextPainter& painter, int pixelHeight)
    : device_(std::move(device)), pictures_(painter, pixelHeight, [this](const base::Image& image) {
          TextTexture made;
          if (image.empty()) return made;
          // Sides of powers of two suit every device; the text fills the top-left corner.
          made.width = powerOfTwoAtLeast(static_cast<UINT>(image.width));
          made.height = powerOfTwoAtLeast(static_cast<UINT>(image.height));
          made.texture = createArgbTexture(*device_.Get(), image, made.width, made.height);
          return made;
      }) {}

void D3d9TextFont::drawText(int x, int y, const std::string& text, std::uint32_t colour) {
    const Pictures::Picture& picture = pictures_.picture(text, colour);
    if (picture.texture.texture) draw(picture, x, y);
}

void D3d9TextFont::draw(const Pictures::Picture& picture, int x, int y) {
    // Pixel centres sit on whole coordinates, so edges half a pixel before them put texel
    // centres on pixel centres: the picture lands pixel for pixel.
    const float left = static_cast<float>(x) - 0.5f, top = static_cast<float>(y) - 0.5f;
    const float right = left + static_cast<float>(picture.width);
    const float bottom = top + static_cast<float>(picture.height);
    const float u = static_cast<float>(picture.width) / static_cast<float>(picture.texture.width);
    const float v = static_cast<float>(picture.height) / static_cast<float>(picture.texture.height);
    const TextVertex quad[] = {{left, top, 0.0f, 1.0f, 0xFFFFFFFFu, 0.0f, 0.0f},
                               {right, top, 0.0f, 1.0f, 0xFFFFFFFFu, u, 0.0f},
                               {left, bottom, 0.0f, 1.0f, 0xFFFFFFFFu, 0.0f, v},
                               {right, bottom, 0.0f, 1.0f, 0xFFFFFFFFu, u, v}};
    IDirect3DDevice9& device = *device_.Get();
    const SavedStates saved(device);
    device.SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device.SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device.SetTexture(0, picture.texture.texture.Get());
    device.SetFVF(kTextFvf);
    device.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TextVertex));
}

}  // namespace backends::d3d9
