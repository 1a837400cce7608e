#pragma once
// The Linux shell: Qt windows on X11. Makes the viewer and the capture frame, reports their
// events to the core's WindowEvents, and makes the OpenGL device on the viewer.
#include <QTimer>
#include <chrono>
#include <memory>

#include "platform/own_window_keys.h"
#include "platform/shell.h"

// Xlib's display, without Xlib's macros in Qt code.
typedef struct _XDisplay Display;
class QObject;

namespace platform::qt {

class ViewerWindow;
class FrameWindow;

class QtShell final : public Shell {
public:
    // The key events of our windows go to `ownKeys`; both must outlive the shell.
    QtShell(Display* display, OwnWindowKeys& ownKeys);
    ~QtShell() override;
    QtShell(const QtShell&) = delete;
    QtShell& operator=(const QtShell&) = delete;

    void createViewer(app::WindowEvents& events) override;
    void createFrame(app::WindowEvents& events) override;
    base::Result<std::unique_ptr<render::GraphicsDevice>> createGraphicsDevice(int width,
                                                                               int height) override;
    void processPendingEvents() override;
    std::optional<base::Rect> frameWindowRect() override;
    std::optional<std::string> frameEditText() override;
    base::Point viewerClientOrigin() override;
    void paceFrame() override;

private:
    Display* display_;
    std::unique_ptr<QObject> keyFilter_;
    std::unique_ptr<ViewerWindow> viewer_;
    std::unique_ptr<FrameWindow> frame_;
    std::chrono::steady_clock::time_point nextFrame_{};
    QTimer wake_;  // ends the wait for events when the next poll is due
    int passesSinceRaise_ = 0;
};

}  // namespace platform::qt
