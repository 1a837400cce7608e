#pragma once
// Implements platform::Shell with Qt windows on X11: the viewer and the capture frame, their
// events reported to the core's WindowEvents, the 60 Hz pacing; and the OpenGL context on the
// viewer that the OpenGL device draws through. Does not make the device (main pairs them), nor
// read keys or the screen (backends/x11, backends/wayland).
#include <QTimer>
#include <memory>

#include "backends/x11/own_window_keys.h"
#include "base/result.h"
#include "device/gl_context.h"
#include "platform/frame_pacer.h"
#include "platform/shell.h"

// Xlib's display, without Xlib's macros in Qt code.
typedef struct _XDisplay Display;
class QObject;
class QSocketNotifier;

namespace backends::qt {

class ViewerWindow;
class FrameWindow;
class KeyWindow;

class QtShell final : public platform::Shell {
public:
    // The key events of our windows go to `ownKeys`; both must outlive the shell.
    QtShell(Display* display, x11::OwnWindowKeys& ownKeys);
    ~QtShell() override;
    QtShell(const QtShell&) = delete;
    QtShell& operator=(const QtShell&) = delete;

    void createViewer(platform::WindowEvents& events) override;
    platform::OutlineShape createFrame(platform::WindowEvents& events, const base::Image& outline) override;
    void processPendingEvents() override;
    std::optional<base::Rect> frameWindowRect() override;
    std::optional<std::string> frameEditText() override;
    base::Point viewerClientOrigin() override;
    void paceFrame() override;
    void waitForEvents() override;
    void toggleKeyWindow(const std::string& text) override;
    void processWindowEvents() override;
    void keepFrameAbove(bool above) override;
    // An OpenGL context on the viewer's surface, for the device that main pairs with this shell.
    base::Result<std::unique_ptr<device::GlContext>> createViewerContext();

private:
    Display* display_;
    std::unique_ptr<QObject> keyFilter_;
    std::unique_ptr<ViewerWindow> viewer_;
    std::unique_ptr<FrameWindow> frame_;
    std::unique_ptr<KeyWindow> keys_;
    platform::FramePacer pacer_;
    bool frameAbove_ = true;  // kept above other windows, also where no window manager does it
    QTimer wake_;  // ends the wait for events when the next poll is due
    // Wakes the event loop when key events arrive on the key poll's own X connection.
    std::unique_ptr<QSocketNotifier> keyEvents_;
};

}  // namespace backends::qt
