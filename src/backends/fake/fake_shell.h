#pragma once
// Implements platform::Shell for tests: windows that exist only as settable values, and a log of
// what was created. Does not: show a window or deliver events by itself (tests call the events).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/graphics_device.h"
#include "platform/shell.h"
#include "platform/window_layout.h"

namespace backends::fake {

class FakeShell final : public platform::Shell {
public:
    using DeviceFactory = std::function<std::unique_ptr<device::GraphicsDevice>(int width, int height)>;

    // Logs "createViewer" / "createFrame" / "createGraphicsDevice WxH" / "showCursor".
    void createViewer(platform::WindowEvents& events) override;
    platform::OutlineShape createFrame(platform::WindowEvents& events, const base::Image& outline) override;
    base::Result<std::unique_ptr<device::GraphicsDevice>> createGraphicsDevice(int width, int height);
    // createGraphicsDevice, as the programs' mains hand a device backend to App.
    device::DeviceFactory devices() {
        return [this](int width, int height) { return createGraphicsDevice(width, height); };
    }
    void showCursor() override;
    void paceFrame() override;
    void waitForEvents() override { ++waitForEventsCount; }
    void processPendingEvents() override;
    std::optional<base::Rect> frameWindowRect() override;
    std::optional<std::string> frameEditText() override;
    base::Point viewerClientOrigin() override;
    // Runs windowEvents; logs "frameAbove 0" / "frameAbove 1".
    void processWindowEvents() override {
        if (windowEvents) windowEvents();
    }
    void keepFrameAbove(bool above) override { log.push_back(above ? "frameAbove 1" : "frameAbove 0"); }

    // The frame as a closed window: no rectangle and no edit box.
    void closeFrame();

    std::vector<std::string> log;
    // Where the windows' events would go: what the core gave at createViewer / createFrame.
    platform::WindowEvents* events = nullptr;
    // Default, or a factory that gives null: no device, with the reason "no device".
    DeviceFactory deviceFactory;
    // Runs inside processPendingEvents, standing in for the window events of one drain.
    std::function<void()> pendingEvents;
    // Runs inside processWindowEvents: what the windows get while a read waits for the user.
    std::function<void()> windowEvents;
    int processEventsCount = 0;
    // The outline the frame was made with, and what the window system makes of its shape.
    base::Image frameOutline;
    platform::OutlineShape outlineShape = platform::OutlineShape::Taken;
    int paceFrameCount = 0;
    int waitForEventsCount = 0;

    // The frame as created at the screen's top-left corner with its layout's size.
    std::optional<base::Rect> frameRect = base::Rect{0, 0, platform::frame::kWidth, platform::frame::kHeight};
    std::optional<std::string> editText = std::string{};
    base::Point clientOrigin{0, 0};
};

}  // namespace backends::fake
