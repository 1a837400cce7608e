#pragma once
// The viewer: a fixed client area that is the OpenGL back buffer, the capture button over it,
// and file drops, as the window layout describes them.
#include <QWidget>
#include <QWindow>
#include <functional>
#include <string>

class QEvent;

namespace backends::qt {

using DropHandler = std::function<void(const std::string& path)>;

// The OpenGL surface inside the viewer; it also takes the drops that land on the picture.
class GlSurface final : public QWindow {
public:
    DropHandler onDrop;
    // Its picture was damaged or lost: shown again, resized, or moved to another screen.
    std::function<void()> onExposed;

protected:
    bool event(QEvent* event) override;
};

class ViewerWindow final : public QWidget {
public:
    ViewerWindow();
    GlSurface& surface() { return *surface_; }
    std::function<void()> onCaptureButton;
    DropHandler onDrop;
    std::function<void()> onClose;
    std::function<void()> onExposed;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    GlSurface* surface_;
};

// Handles a drag or drop event: the first local file of a drop goes to `onDrop`. False for
// any other event.
bool handleDropEvent(QEvent* event, const DropHandler& onDrop);

}  // namespace backends::qt
