#pragma once
// The Linux shell: Qt windows on X11. Creates the viewer and the capture frame, hands their
// events to the core's handlers, and makes the OpenGL device on the viewer.
#include <chrono>
#include <memory>

#include "platform/shell.h"

// Xlib's display, without Xlib's macros in Qt code.
typedef struct _XDisplay Display;
class QObject;

namespace app {
class App;
}

namespace platform::qt {

class ViewerWindow;
class FrameWindow;
class X11Keyboard;

class QtShell final : public Shell {
public:
    explicit QtShell(Display* display);
    ~QtShell() override;
    void attach(app::App& app, X11Keyboard& keyboard);

    void createViewer() override;
    void createFrame() override;
    std::unique_ptr<render::GraphicsDevice> createGraphicsDevice(int width, int height,
                                                                 std::string& error) override;
    void processPendingEvents() override;
    std::optional<Rect> frameWindowRect() override;
    std::optional<std::string> frameEditText() override;
    Point viewerClientOrigin() override;
    void paceFrame() override;

private:
    Display* display_;
    app::App* app_ = nullptr;
    std::unique_ptr<ViewerWindow> viewer_;
    std::unique_ptr<FrameWindow> frame_;
    std::unique_ptr<QObject> keyFilter_;
    std::chrono::steady_clock::time_point nextFrame_{};
    int passesSinceRaise_ = 0;
};

}  // namespace platform::qt
