#include "render/start_graphics.h"

namespace render {

bool startGraphics(platform::Shell& shell, int width, int height, Graphics& out, std::string& error) {
    out.device = shell.createGraphicsDevice(width, height, error);
    if (!out.device) {
        if (error.empty()) error = "the graphics device could not be created";
        return false;
    }
    out.textFont = out.device->createTextFont(14);
    if (!out.textFont) {
        error = "the text font could not be created";
        return false;
    }
    return true;
}

}  // namespace render
