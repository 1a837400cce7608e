#pragma once
// Shell double: windows that exist only as settable values, and a log of what was created.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace platform::fake {

class FakeShell final : public Shell {
public:
    using DeviceFactory =
        std::function<std::unique_ptr<render::GraphicsDevice>(int width, int height, std::string& error)>;

    // Logs "createViewer" / "createFrame" / "createGraphicsDevice WxH" / "showCursor".
    void createViewer() override;
    void createFrame() override;
    std::unique_ptr<render::GraphicsDevice> createGraphicsDevice(int width, int height,
                                                                 std::string& error) override;
    void showCursor() override;
    void paceFrame() override;
    void processPendingEvents() override;
    std::optional<Rect> frameWindowRect() override;
    std::optional<std::string> frameEditText() override;
    Point viewerClientOrigin() override;

    // The frame as a closed window: no rectangle and no edit box.
    void closeFrame();

    std::vector<std::string> log;
    // Default: no device, with the reason "no device".
    DeviceFactory deviceFactory;
    // Runs inside processPendingEvents, standing in for the window events of one drain.
    std::function<void()> pendingEvents;
    int processEventsCount = 0;
    int paceFrameCount = 0;

    // The frame as created at the screen's top-left corner with its size of 177 x 152.
    std::optional<Rect> frameRect = Rect{0, 0, 177, 152};
    std::optional<std::string> editText = std::string{};
    Point clientOrigin{0, 0};
};

}  // namespace platform::fake
