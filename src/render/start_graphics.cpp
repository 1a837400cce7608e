#include "render/start_graphics.h"

namespace render {

base::Result<Graphics> startGraphics(platform::Shell& shell, int width, int height) {
    auto device = shell.createGraphicsDevice(width, height);
    if (!device) {
        return base::Failure{device.error().empty() ? "the graphics device could not be created"
                                                    : device.error()};
    }
    Graphics graphics;
    graphics.device = std::move(*device);
    graphics.textFont = graphics.device->createTextFont(14);
    if (!graphics.textFont) return base::Failure{"the text font could not be created"};
    return graphics;
}

}  // namespace render
