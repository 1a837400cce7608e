#include "backends/d3d9/d3d9_texture.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace backends::d3d9 {

ComPtr<IDirect3DTexture9> createArgbTexture(IDirect3DDevice9& device, const base::Image& image, UINT width,
                                            UINT height) {
    ComPtr<IDirect3DTexture9> texture;
    // One level: without mipmaps sampling reads the picture itself, as with the default
    // sampler states (no mip filter) a full chain would too.
    if (FAILED(device.CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    texture.ReleaseAndGetAddressOf(), nullptr)))
        return {};
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) return {};
    // 0xAARRGGBB words are A8R8G8B8 texels; a row may be padded beyond its texels (Pitch).
    const UINT copiedWidth = std::min(width, static_cast<UINT>(std::max(image.width, 0)));
    const UINT copiedHeight = std::min(height, static_cast<UINT>(std::max(image.height, 0)));
    auto* bytes = static_cast<std::uint8_t*>(locked.pBits);
    for (UINT y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(bytes + static_cast<std::size_t>(y) * locked.Pitch);
        UINT x = 0;
        if (y < copiedHeight) {
            std::memcpy(row, &image.pixels[static_cast<std::size_t>(y) * image.width], copiedWidth * 4u);
            x = copiedWidth;
        }
        std::fill(row + x, row + width, 0u);
    }
    texture->UnlockRect(0);
    return texture;
}

bool needsPowerOfTwoSides(IDirect3DDevice9& device) {
    D3DCAPS9 caps{};
    if (FAILED(device.GetDeviceCaps(&caps))) return true;
    return (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
}

UINT powerOfTwoAtLeast(UINT n) {
    UINT p = 1;
    while (p < n && p < 0x80000000u) p <<= 1;
    return p;
}

base::Image stretchedNearest(const base::Image& image, int width, int height) {
    base::Image out(width, height);
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>((static_cast<long long>(y) * 2 + 1) * image.height / (2LL * height));
        for (int x = 0; x < width; ++x) {
            const int sx =
                static_cast<int>((static_cast<long long>(x) * 2 + 1) * image.width / (2LL * width));
            out.at(x, y) = image.at(sx, sy);
        }
    }
    return out;
}

}  // namespace backends::d3d9
