#pragma once
// Textures made from the core's pictures without D3DX: one level of A8R8G8B8 in the managed
// pool, so that they outlive a reset of the device.
// Implements: device::Texture, and pictures stretched to sides of powers of two for a device that
// samples no others, as D3DX's loader stretches them. Not implemented: mipmaps, other formats,
// and the filters of D3DX's loader (the stretch takes the nearest pixel).
#include <utility>

#include "backends/d3d9/d3d9_api.h"
#include "base/image.h"
#include "device/graphics_device.h"

namespace backends::d3d9 {

class D3d9Texture final : public device::Texture {
public:
    explicit D3d9Texture(ComPtr<IDirect3DTexture9> texture) : texture_(std::move(texture)) {}
    IDirect3DTexture9* get() const { return texture_.Get(); }

private:
    ComPtr<IDirect3DTexture9> texture_;
};

// A width x height texture holding `image` in its top-left corner and transparent black in the
// rest; null when the device refuses it (too large, out of memory).
ComPtr<IDirect3DTexture9> createArgbTexture(IDirect3DDevice9& device, const base::Image& image, UINT width,
                                            UINT height);

// Whether the device samples only textures whose sides are powers of two.
bool needsPowerOfTwoSides(IDirect3DDevice9& device);

// The smallest power of two that is at least `n` (and at least 1).
UINT powerOfTwoAtLeast(UINT n);

// `image` stretched to width x height, each pixel taken from the nearest source pixel.
base::Image stretchedNearest(const base::Image& image, int width, int height);

}  // namespace backends::d3d9
