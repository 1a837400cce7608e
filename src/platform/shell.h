#pragma once
// What the core needs of the windows: to make them, where they are, and what the frame's edit
// box holds. The backend owns the windows and reports their events to the WindowEvents it is
// given when it makes them.
#include <optional>
#include <string>

#include "base/geometry.h"
#include "base/image.h"
#include "base/result.h"
#include "platform/window_events.h"

namespace platform {

// What became of the capture frame's outline as its shape: taken, or refused by the window
// system, which leaves the frame rectangular.
enum class OutlineShape { Taken, Refused };

class Shell {
public:
    virtual ~Shell() = default;
    // Start-up makes the viewer first, then the capture frame, as the window layout describes
    // them. Their events go to `events`, which outlives the windows.
    virtual void createViewer(platform::WindowEvents& events) = 0;
    // The frame is shaped by `outline`, whose pixels in the colour of its bottom-left pixel are
    // cut away; an empty picture leaves it rectangular.
    virtual OutlineShape createFrame(platform::WindowEvents& events, const base::Image& outline) = 0;
    virtual void showCursor() {}
    // Waits until the next key poll is due, one display period after the last, running the
    // window events that arrive meanwhile; at once when presenting already waited that long.
    virtual void paceFrame() {}
    // Waits for the next window or key event, however long that takes (used when nothing is
    // held, moving or left to draw); a shell that cannot wake on every key event paces instead.
    virtual void waitForEvents() { paceFrame(); }
    // Runs every pending window event (the handlers run inside), without waiting.
    virtual void processPendingEvents() = 0;
    // The capture frame's outer rectangle in screen coordinates; nothing once it is closed.
    virtual std::optional<base::Rect> frameWindowRect() = 0;
    // The current text of the frame's edit box (UTF-8); nothing once the frame is closed.
    virtual std::optional<std::string> frameEditText() = 0;
    // The viewer's client-area origin in screen coordinates.
    virtual base::Point viewerClientOrigin() = 0;
    // Opens the key window showing `text` (UTF-8 lines), or closes it when it is open.
    virtual void toggleKeyWindow(const std::string& text) { (void)text; }
    // Handles what the windows need to stay alive (exposures, the window manager's pings) and
    // leaves the user's input queued.
    virtual void processWindowEvents() {}
    // Whether the frame stays above other windows: not while the desktop asks the user, whose
    // question it could cover.
    virtual void keepFrameAbove(bool above) { (void)above; }
};

}  // namespace platform
