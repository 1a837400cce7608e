#pragma once
// The viewer: a fixed 594 x 578 client area that is the OpenGL back buffer, the capture
// button 1000 over it, and file drops.
#include <QPushButton>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <string>

class QMimeData;

namespace platform::qt {

// The OpenGL surface inside the viewer; it also takes the drops that land on the picture.
class GlSurface final : public QWindow {
public:
    std::function<void(const std::string&)> onDrop;

protected:
    bool event(QEvent* event) override;
};

class ViewerWindow final : public QWidget {
public:
    ViewerWindow(int width, int height);
    GlSurface& surface() { return *surface_; }
    QPushButton& captureButton() { return *button_; }
    std::function<void()> onCaptureButton;
    std::function<void(const std::string&)> onDrop;
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    GlSurface* surface_;
    QPushButton* button_;
};

// The local path of the first file of a drop, or empty.
std::string firstDroppedFile(const QMimeData* data);

}  // namespace platform::qt
