#pragma once
// Creates the device on the viewer, then the text font; stops at the first failure.
#include <memory>
#include <string>

#include "platform/shell.h"
#include "render/graphics_device.h"

namespace render {

struct Graphics {
    std::unique_ptr<GraphicsDevice> device;
    std::unique_ptr<TextFont> textFont;
};

// True when both exist; otherwise false with what failed in `error`.
bool startGraphics(platform::Shell& shell, int width, int height, Graphics& out, std::string& error);

}  // namespace render
