#include "backends/qt/viewer_window.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "backends/qt/japanese_font.h"
#include "platform/window_layout.h"

namespace backends::qt {

namespace {

// The local path of the first file of a drop, or empty: only the first file counts.
std::string firstDroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return {};
    return urls.front().toLocalFile().toStdString();
}

}  // namespace

bool handleDropEvent(QEvent* event, const DropHandler& onDrop) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!firstDroppedFile(drag->mimeData()).empty()) drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const std::string path = firstDroppedFile(drop->mimeData());
            if (!path.empty()) {
                drop->acceptProposedAction();
                if (onDrop) onDrop(path);
            }
            return true;
        }
        default:
            return false;
    }
}

bool GlSurface::event(QEvent* event) {
    if (handleDropEvent(event, onDrop)) return true;
    switch (event->type()) {
        case QEvent::Expose:
        case QEvent::Resize:
        case QEvent::ScreenChangeInternal:
            if (onExposed) onExposed();
            break;
        default:
            break;
    }
    return QWindow::event(event);
}

ViewerWindow::ViewerWindow() {
    namespace layout = platform::viewer;
    setWindowTitle(QString::fromUtf8(layout::kTitle));
    setObjectName(QStringLiteral("viewer"));
    setFixedSize(layout::kClientWidth, layout::kClientHeight);  // no sizing border
    // A caption with a close box only: no minimize or maximize box, no sizing border.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAcceptDrops(true);

    surface_ = new GlSurface;
    surface_->setSurfaceType(QSurface::OpenGLSurface);
    surface_->onDrop = [this](const std::string& path) {
        if (onDrop) onDrop(path);
    };
    surface_->onExposed = [this] {
        if (onExposed) onExposed();
    };
    QWidget* container = QWidget::createWindowContainer(surface_, this);
    container->setGeometry(0, 0, layout::kClientWidth, layout::kClientHeight);
    container->setFocusPolicy(Qt::StrongFocus);

    constexpr platform::Control place = layout::kCaptureButton;
    auto* button = new QPushButton(QString::fromUtf8(place.text), this);
    button->setObjectName(QString::number(place.id));
    button->setFont(japaneseFont(platform::kControlFontPixels));
    button->setGeometry(place.x, place.y, place.width, place.height);
    button->setFocusPolicy(Qt::NoFocus);
    // A native child stays above the native OpenGL surface and takes its own clicks.
    button->setAttribute(Qt::WA_NativeWindow);
    button->raise();
    QObject::connect(button, &QPushButton::clicked, this, [this] {
        if (onCaptureButton) onCaptureButton();
    });
}

bool ViewerWindow::event(QEvent* event) {
    return handleDropEvent(event, onDrop) || QWidget::event(event);
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (onClose) onClose();
}

}  // namespace backends::qt
