#include "backends/qt/qt_shell.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRegion>
#include <QScreen>
#include <QSocketNotifier>
#include <algorithm>
#include <functional>

#include "backends/qt/frame_window.h"
#include "backends/qt/key_window.h"
#include "backends/qt/qt_gl_context.h"
#include "backends/qt/qt_image.h"
#include "backends/qt/qt_image_decoder.h"
#include "backends/qt/viewer_window.h"
#include "backends/x11/x11_shape.h"
#include "backends/x11/x11_window_manager.h"
#include "base/log.h"
#include "base/region_from_bitmap.h"
#include "platform/window_layout.h"

namespace backends::qt {

namespace {

// Feeds the key events of all our windows to the keyboard's "held as our windows saw it".
class KeyFilter final : public QObject {
public:
    explicit KeyFilter(x11::OwnWindowKeys& keys) : keys_(keys) {}
    std::function<void()> onHelpKey;  // F1 pressed in one of our windows

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease: {
                auto* key = static_cast<QKeyEvent*>(event);
                if (!key->isAutoRepeat())
                    keys_.keyEvent(key->nativeScanCode(), event->type() == QEvent::KeyPress);
                // Each event comes once per window it passes through: the top-level one counts.
                if (key->key() == Qt::Key_F1 && event->type() == QEvent::KeyPress && !key->isAutoRepeat() &&
                    watched->isWindowType() && onHelpKey) {
                    onHelpKey();
                    return true;
                }
                break;
            }
            case QEvent::ApplicationStateChange:
                if (QGuiApplication::applicationState() != Qt::ApplicationActive) keys_.focusLost();
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    x11::OwnWindowKeys& keys_;
};

// The key-coloured pixels of the outline (its bottom-left pixel's colour) are cut away; only
// the part of the outline that covers the frame counts.
QRegion outlineShape(const base::Image& outline) {
    const base::Rect frame{0, 0, platform::frame::kWidth, platform::frame::kHeight};
    if (outline.empty()) return QRegion(frame.left, frame.top, frame.width(), frame.height());
    QRegion shape;
    for (const base::RegionRect& r : base::regionFromBitmap(outline, -1, 0, 0, frame))
        shape += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    return shape;
}

// Qt's own connection to the X server, on which the frame's shape was set.
Display* qtDisplay() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

}  // namespace

QtShell::QtShell(Display* display, x11::OwnWindowKeys& ownKeys)
    : display_(display), keyFilter_(std::make_unique<KeyFilter>(ownKeys)) {
    QCoreApplication::instance()->installEventFilter(keyFilter_.get());
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    keyEvents_ = std::make_unique<QSocketNotifier>(x11::connectionSocket(display_), QSocketNotifier::Read);
    // Only while waiting: the key poll reads the socket once a frame, and a socket left readable
    // in between would keep waking the paced loop.
    keyEvents_->setEnabled(false);
}

QtShell::~QtShell() = default;

void QtShell::createViewer(platform::WindowEvents& events) {
    viewer_ = std::make_unique<ViewerWindow>();
    viewer_->onCaptureButton = [&events] { events.onCaptureButton(); };
    viewer_->onDrop = [&events](const std::string& path) { events.onFileDropped(path); };
    viewer_->onClose = [&events] { events.onViewerClosed(); };
    viewer_->onExposed = [&events] { events.onViewerExposed(); };
    static_cast<KeyFilter*>(keyFilter_.get())->onHelpKey = [&events] { events.onHelpKey(); };
    viewer_->show();
    if (Display* qt = qtDisplay()) x11::allowMoveAndCloseOnly(qt, viewer_->winId());
}

platform::OutlineShape QtShell::createFrame(platform::WindowEvents& events, const base::Image& outline) {
    frame_ = std::make_unique<FrameWindow>(qImageFrom(outline));
    frame_->onMoved = [&events] { events.onFrameMoved(); };
    frame_->onResized = [&events] { events.onFrameResized(); };
    frame_->onShoot = [&events] { events.onShootButton(); };
    frame_->onExit = [&events] { events.onExitButton(); };
    frame_->onPrefixChanged = [&events](const std::string& text) { events.onPrefixChanged(text); };
    const QRegion shape = outlineShape(outline);
    frame_->setMask(shape);
    frame_->show();
    frame_->raise();
    // A shape the server refused leaves the frame invisible and out of reach: it goes without.
    Display* qt = qtDisplay();
    if (!shape.isEmpty() && qt && x11::shapeIsEmpty(qt, frame_->winId())) {
        frame_->clearMask();
        return platform::OutlineShape::Refused;
    }
    return platform::OutlineShape::Taken;
}

base::Result<std::unique_ptr<device::GlContext>> QtShell::createViewerContext() {
    GlSurface& surface = viewer_->surface();
    surface.create();
    auto context = QtGlContext::create(surface);
    if (!context) return context.failure();
    return std::unique_ptr<device::GlContext>(std::move(*context));
}

void QtShell::processPendingEvents() {
    // Posted and window-system events alike, without waiting for more.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::optional<base::Rect> QtShell::frameWindowRect() {
    if (!frame_ || frame_->isClosed()) return std::nullopt;
    const QRect r = frame_->frameGeometry();
    return base::Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

std::optional<std::string> QtShell::frameEditText() {
    if (!frame_ || frame_->isClosed()) return std::nullopt;
    return frame_->prefixBox().text().toStdString();
}

base::Point QtShell::viewerClientOrigin() {
    const QPoint origin = viewer_->mapToGlobal(QPoint(0, 0));
    return {origin.x(), origin.y()};
}

void QtShell::toggleKeyWindow(const std::string& text) {
    if (keys_ && keys_->isVisible()) {
        keys_->close();
        return;
    }
    keys_ = std::make_unique<KeyWindow>(text);
    // Beside the viewer where the screen has room, else as far right as it fits.
    keys_->adjustSize();
    if (viewer_ && viewer_->screen()) {
        const QRect screen = viewer_->screen()->availableGeometry();
        const int x = std::min(viewer_->frameGeometry().right() + 8, screen.right() + 1 - keys_->frameGeometry().width());
        keys_->move(std::max(screen.left(), x), viewer_->frameGeometry().top());
    }
    keys_->show();
    keys_->raise();
    keys_->activateWindow();
}

void QtShell::processWindowEvents() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtShell::keepFrameAbove(bool above) {
    if (above == frameAbove_ || !frame_ || frame_->isClosed()) return;
    frameAbove_ = above;
    x11::keepAbove(display_, frame_->winId(), above);
}

void QtShell::waitForEvents() {
    // Without a window manager nothing keeps the frame above other windows but itself, twice a
    // second; with one, nothing wakes the program but its events.
    const bool raising = frameAbove_ && frame_ && !frame_->isClosed() && !x11::windowManagerRunning(display_);
    // Events that came while that asked the server are in the connection's queue, not its
    // socket: they are handled now. From here on, what arrives makes the socket readable.
    if (x11::flushAndCheckEvents(display_)) return;
    if (raising) wake_.start(500);
    keyEvents_->setEnabled(true);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    keyEvents_->setEnabled(false);
    wake_.stop();
    if (raising) x11::raiseWindow(display_, frame_->winId());
    pacer_.waited(platform::FramePacer::Clock::now());
}

void QtShell::paceFrame() {
    // Sleeps in the event loop until the next poll is due, so that events are handled as they
    // come and an untouched program uses no processor time. A virtual X server has no vertical
    // retrace, so the period is kept here rather than by presenting.
    // Without a window manager nothing keeps the frame above other windows but itself.
    if (pacer_.raiseDue() && frameAbove_ && frame_ && !frame_->isClosed() && !x11::windowManagerRunning(display_))
        x11::raiseWindow(display_, frame_->winId());

    const auto deadline = pacer_.deadline();
    using Clock = platform::FramePacer::Clock;
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        wake_.start(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    wake_.stop();
    pacer_.waited(Clock::now());
}

}  // namespace backends::qt
