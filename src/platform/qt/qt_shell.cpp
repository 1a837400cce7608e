#include "platform/qt/qt_shell.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QRegion>
#include <cstring>
#include <thread>

#include "app/app.h"
#include "app/region_from_bitmap.h"
#include "platform/qt/frame_window.h"
#include "platform/qt/gl_device.h"
#include "platform/qt/viewer_window.h"
#include "platform/qt/x11_keyboard.h"
#include "platform/qt/x11_window_manager.h"

namespace platform::qt {

namespace {

constexpr int kFrameWidth = 177;
constexpr int kFrameHeight = 152;
constexpr const char* kFrameOutline = "枠.bmp";
constexpr auto kFramePeriod = std::chrono::microseconds(16667);

// Feeds the key events of all our windows to the keyboard's "held as our windows saw it".
class KeyFilter final : public QObject {
public:
    explicit KeyFilter(X11Keyboard& keyboard) : keyboard_(keyboard) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease: {
                auto* key = static_cast<QKeyEvent*>(event);
                if (!key->isAutoRepeat())
                    keyboard_.keyEvent(key->nativeScanCode(), event->type() == QEvent::KeyPress);
                break;
            }
            case QEvent::ApplicationStateChange:
                if (QGuiApplication::applicationState() != Qt::ApplicationActive) keyboard_.focusLost();
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    X11Keyboard& keyboard_;
};

// The key-coloured pixels of the outline (its bottom-left pixel's colour) are cut away.
QRegion outlineShape(const QImage& outline) {
    if (outline.isNull()) return QRegion(0, 0, kFrameWidth, kFrameHeight);
    const QImage argb = outline.convertToFormat(QImage::Format_ARGB32);
    render::Image picture(argb.width(), argb.height());
    for (int y = 0; y < argb.height(); ++y)
        std::memcpy(&picture.at(0, y), argb.constScanLine(y), static_cast<std::size_t>(argb.width()) * 4);
    QRegion shape;
    for (const app::RegionRect& r : app::regionFromBitmap(picture, -1, 0, 0))
        shape += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    return shape;
}

}  // namespace

QtShell::QtShell(Display* display) : display_(display) {}

QtShell::~QtShell() = default;

void QtShell::attach(app::App& app, X11Keyboard& keyboard) {
    app_ = &app;
    keyFilter_ = std::make_unique<KeyFilter>(keyboard);
    QCoreApplication::instance()->installEventFilter(keyFilter_.get());
}

void QtShell::createViewer() {
    const auto& s = app_->state;
    viewer_ = std::make_unique<ViewerWindow>(s.backBufferWidth, s.backBufferHeight);
    viewer_->onCaptureButton = [this] { app_->onCaptureButton(); };
    viewer_->onDrop = [this](const std::string& path) { app_->onFileDropped(path); };
    viewer_->onClose = [this] { app_->onViewerClosed(); };
    viewer_->show();
}

void QtShell::createFrame() {
    const QImage outline(QString::fromUtf8(kFrameOutline));
    if (outline.isNull())
        std::fprintf(stderr, "nukitori: the frame outline \"%s\" could not be read\n", kFrameOutline);
    frame_ = std::make_unique<FrameWindow>(kFrameWidth, kFrameHeight, outline);
    frame_->onMoved = [this] { app_->onFrameMoved(); };
    frame_->onResized = [this] { app_->onFrameResized(); };
    frame_->onShoot = [this] { app_->onShootButton(); };
    frame_->onExit = [this] { app_->onExitButton(); };
    frame_->onPrefixChanged = [this](const std::string& text) { app_->onPrefixChanged(text); };
    frame_->setMask(outlineShape(outline));
    frame_->show();
    frame_->raise();
}

std::unique_ptr<render::GraphicsDevice> QtShell::createGraphicsDevice(int width, int height,
                                                                      std::string& error) {
    GlSurface& surface = viewer_->surface();
    surface.create();
    return GlDevice::create(surface, width, height, error);
}

void QtShell::processPendingEvents() {
    // Posted and window-system events alike, without waiting for more.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::optional<Rect> QtShell::frameWindowRect() {
    if (!frame_ || frame_->isClosed()) return std::nullopt;
    const QRect r = frame_->frameGeometry();
    return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

std::optional<std::string> QtShell::frameEditText() {
    if (!frame_ || frame_->isClosed()) return std::nullopt;
    return frame_->prefixBox().text().toStdString();
}

Point QtShell::viewerClientOrigin() {
    const QPoint origin = viewer_->mapToGlobal(QPoint(0, 0));
    return {origin.x(), origin.y()};
}

void QtShell::paceFrame() {
    // A virtual X server has no vertical retrace: wait out the rest of a 60 Hz period here.
    const auto now = std::chrono::steady_clock::now();
    if (nextFrame_ > now) std::this_thread::sleep_until(nextFrame_);
    nextFrame_ = std::max(now, nextFrame_) + kFramePeriod;

    // Without a window manager nothing keeps the frame above other windows but itself.
    if (++passesSinceRaise_ >= 30) {
        passesSinceRaise_ = 0;
        if (frame_ && !frame_->isClosed() && !windowManagerRunning(display_)) frame_->raise();
    }
}

}  // namespace platform::qt
