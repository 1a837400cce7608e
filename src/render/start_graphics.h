#pragma once
// Creates the device on the viewer, then the text font; stops at the first failure.
#include <memory>

#include "base/result.h"
#include "platform/shell.h"
#include "render/graphics_device.h"

namespace render {

struct Graphics {
    std::unique_ptr<GraphicsDevice> device;
    std::unique_ptr<TextFont> textFont;
};

// Both, or what failed.
base::Result<Graphics> startGraphics(platform::Shell& shell, int width, int height);

}  // namespace render
