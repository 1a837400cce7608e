#pragma once
// The Direct3D 9 device on the viewer window: a 5-6-5 back buffer with a 16-bit depth buffer,
// presented once per display refresh, and the fixed-function pipeline's states passed straight
// through. Meshes, textures and text are made without D3DX, which stock Windows lacks: meshes
// from the core's mesh data, textures from the core's pictures, text from the shell's painter.
#include <memory>

#include "base/result.h"
#include "render/graphics_device.h"
#include "render/text_painter.h"

struct HWND__;
using HWND = HWND__*;

namespace platform::d3d9 {

class D3d9Device : public render::GraphicsDevice {
public:
    // The device on `window`'s client area with a back buffer of width x height.
    static base::Result<std::unique_ptr<D3d9Device>> create(HWND window,
                                                            std::unique_ptr<render::TextPainter> painter,
                                                            int width, int height);

    // The back buffer's pixels as 0xAARRGGBB, top row first, as the next present would show.
    virtual base::Image readBackBuffer() = 0;
};

}  // namespace platform::d3d9
