#include "platform/qt/viewer_window.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "platform/qt/japanese_font.h"

namespace platform::qt {

namespace {
constexpr const char* kViewerTitle = "ビューア";
constexpr const char* kCaptureButtonText = "キャプチャ";
}  // namespace

std::string firstDroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    // Only the first file of a drop counts.
    if (urls.isEmpty() || !urls.front().isLocalFile()) return {};
    return urls.front().toLocalFile().toStdString();
}

bool GlSurface::event(QEvent* event) {
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
            return QWindow::event(event);
    }
}

ViewerWindow::ViewerWindow(int width, int height) {
    setWindowTitle(QString::fromUtf8(kViewerTitle));
    setObjectName(QStringLiteral("viewer"));
    setFixedSize(width, height);  // no sizing border: the client area is the back buffer
    // A caption with a close box only: no minimize or maximize box, no sizing border.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAcceptDrops(true);

    surface_ = new GlSurface;
    surface_->setSurfaceType(QSurface::OpenGLSurface);
    surface_->onDrop = [this](const std::string& path) {
        if (onDrop) onDrop(path);
    };
    QWidget* container = QWidget::createWindowContainer(surface_, this);
    container->setGeometry(0, 0, width, height);
    container->setFocusPolicy(Qt::StrongFocus);

    button_ = new QPushButton(QString::fromUtf8(kCaptureButtonText), this);
    button_->setObjectName(QStringLiteral("1000"));
    button_->setFont(japaneseFont(12));
    button_->setGeometry(264, 4, 68, 18);
    button_->setFocusPolicy(Qt::NoFocus);
    // A native child stays above the native OpenGL surface and takes its own clicks.
    button_->setAttribute(Qt::WA_NativeWindow);
    button_->raise();
    QObject::connect(button_, &QPushButton::clicked, this, [this] {
        if (onCaptureButton) onCaptureButton();
    });
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (onClose) onClose();
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!firstDroppedFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent* event) {
    const std::string path = firstDroppedFile(event->mimeData());
    if (path.empty()) return;
    event->acceptProposedAction();
    if (onDrop) onDrop(path);
}

}  // namespace platform::qt
