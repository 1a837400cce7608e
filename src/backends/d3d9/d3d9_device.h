#pragma once
// The Direct3D 9 device on the viewer window: a 5-6-5 back buffer with a 16-bit depth buffer,
// presented once per display refresh, and the fixed-function pipeline's states passed straight
// through. Meshes, textures and text are made without D3DX, which stock Windows lacks: meshes
// from the core's mesh data, textures from the core's pictures, text from the shell's painter.
#include <functional>
#include <memory>

#include "base/result.h"
#include "device/graphics_device.h"
#include "device/text_painter.h"

struct HWND__;
using HWND = HWND__*;

namespace backends::d3d9 {

class D3d9Device;

// Makes the device on the window that `window` gives when App asks for its device, with texts
// from the painter that `painter` gives, then calls `made`: how a main pairs a window backend
// with this device.
device::DeviceFactory deviceFactory(std::function<HWND()> window,
                                    std::function<std::unique_ptr<device::TextPainter>()> painter,
                                    std::function<void()> made);

class D3d9Device : public device::GraphicsDevice {
public:
    // The device on `window`'s client area with a back buffer of width x height.
    static base::Result<std::unique_ptr<D3d9Device>> create(HWND window,
                                                            std::unique_ptr<device::TextPainter> painter,
                                                            int width, int height);

    // The back buffer's pixels as 0xAARRGGBB, top row first, as the next present would show.
    virtual base::Image readBackBuffer() = 0;
};

}  // namespace backends::d3d9
