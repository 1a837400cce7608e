#pragma once
// What the core needs of the windows: to make them, where they are, and what the frame's edit
// box holds. The backend owns the windows and reports their events to the WindowEvents it is
// given when it makes them.
#include <memory>
#include <optional>
#include <string>

#include "app/window_events.h"
#include "base/geometry.h"
#include "base/result.h"
#include "render/graphics_device.h"

namespace platform {

class Shell {
public:
    virtual ~Shell() = default;
    // Start-up makes the viewer first, then the capture frame, as the window layout describes
    // them. Their events go to `events`, which outlives the windows.
    virtual void createViewer(app::WindowEvents& events) = 0;
    virtual void createFrame(app::WindowEvents& events) = 0;
    // The device on the viewer with a back buffer of width x height.
    virtual base::Result<std::unique_ptr<render::GraphicsDevice>> createGraphicsDevice(int width,
                                                                                       int height) = 0;
    virtual void showCursor() {}
    // Waits until the next key poll is due, one display period after the last, running the
    // window events that arrive meanwhile; at once when presenting already waited that long.
    virtual void paceFrame() {}
    // Runs every pending window event (the handlers run inside), without waiting.
    virtual void processPendingEvents() = 0;
    // The capture frame's outer rectangle in screen coordinates; nothing once it is closed.
    virtual std::optional<base::Rect> frameWindowRect() = 0;
    // The current text of the frame's edit box (UTF-8); nothing once the frame is closed.
    virtual std::optional<std::string> frameEditText() = 0;
    // The viewer's client-area origin in screen coordinates.
    virtual base::Point viewerClientOrigin() = 0;
};

}  // namespace platform
