#pragma once
// Shell double: windows that exist only as settable values, and a log of what was created.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/window_layout.h"
#include "platform/shell.h"

namespace platform::fake {

class FakeShell final : public Shell {
public:
    using DeviceFactory = std::function<std::unique_ptr<render::GraphicsDevice>(int width, int height)>;

    // Logs "createViewer" / "createFrame" / "createGraphicsDevice WxH" / "showCursor".
    void createViewer(app::WindowEvents& events) override;
    void createFrame(app::WindowEvents& events) override;
    base::Result<std::unique_ptr<render::GraphicsDevice>> createGraphicsDevice(int width,
                                                                               int height) override;
    void showCursor() override;
    void paceFrame() override;
    void processPendingEvents() override;
    std::optional<base::Rect> frameWindowRect() override;
    std::optional<std::string> frameEditText() override;
    base::Point viewerClientOrigin() override;

    // The frame as a closed window: no rectangle and no edit box.
    void closeFrame();

    std::vector<std::string> log;
    // Where the windows' events would go: what the core gave at createViewer / createFrame.
    app::WindowEvents* events = nullptr;
    // Default, or a factory that gives null: no device, with the reason "no device".
    DeviceFactory deviceFactory;
    // Runs inside processPendingEvents, standing in for the window events of one drain.
    std::function<void()> pendingEvents;
    int processEventsCount = 0;
    int paceFrameCount = 0;

    // The frame as created at the screen's top-left corner with its layout's size.
    std::optional<base::Rect> frameRect = base::Rect{0, 0, app::frame::kWidth, app::frame::kHeight};
    std::optional<std::string> editText = std::string{};
    base::Point clientOrigin{0, 0};
};

}  // namespace platform::fake
