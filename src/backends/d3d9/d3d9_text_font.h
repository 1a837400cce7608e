#pragma once
// The text font of the Direct3D 9 device: each distinct text and colour is painted once by the
// shell's painter, kept as a texture, and blended over the back buffer as a pre-transformed
// quad whenever it is drawn; the device states it needs are put back afterwards.
// Implements: drawText at a back-buffer pixel, the picture landing pixel for pixel whatever the
// frame's blend, depth, cull and stage 0 states. Not implemented: the clipping rectangles,
// formats and text measuring of D3DX's font.
#include <string>

#include "backends/d3d9/d3d9_api.h"
#include "device/graphics_device.h"
#include "device/text_cache.h"
#include "device/text_painter.h"

namespace backends::d3d9 {

class D3d9TextFont final : public device::TextFont {
public:
    // The painter must outlive the font.
    D3d9TextFont(ComPtr<IDirect3DDevice9> device, device::TextPainter& painter, int pixelHeight);
    void drawText(int x, int y, const std::string& text, std::uint32_t colour) override;

private:
    // A text's texture, whose sides are powers of two at least the picture's.
    struct TextTexture {
        ComPtr<IDirect3DTexture9> texture;  // null for a text that paints no pixels
        UINT width = 1;
        UINT height = 1;
    };
    using Pictures = device::TextCache<TextTexture>;
    void draw(const Pictures::Picture& picture, int x, int y);

    ComPtr<IDirect3DDevice9> device_;
    Pictures pictures_;
};

}  // namespace backends::d3d9
