#pragma once
// What the core needs of the windows: where they are and what the frame's edit box holds.
// The backend owns the windows and calls the core's handlers (app/handlers.h) from its events.
#include <memory>
#include <optional>
#include <string>

#include "render/graphics_device.h"

namespace platform {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    int x = 0, y = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Start-up creates the viewer first, then the capture frame.
    virtual void createViewer() = 0;
    virtual void createFrame() = 0;
    // The device on the viewer with a back buffer of width x height; null with a reason.
    virtual std::unique_ptr<render::GraphicsDevice> createGraphicsDevice(int width, int height,
                                                                         std::string& error) = 0;
    virtual void showCursor() {}
    // Waits out the rest of the display period when presenting did not wait for the refresh.
    virtual void paceFrame() {}
    // Runs every pending window event (the handlers run inside), without waiting.
    virtual void processPendingEvents() = 0;
    // The capture frame's outer rectangle in screen coordinates; nothing once it is closed.
    virtual std::optional<Rect> frameWindowRect() = 0;
    // The current text of the frame's edit box (UTF-8); nothing once the frame is closed.
    virtual std::optional<std::string> frameEditText() = 0;
    // The viewer's client-area origin in screen coordinates.
    virtual Point viewerClientOrigin() = 0;
};

}  // namespace platform
