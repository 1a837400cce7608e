#include "platform/qt/qt_gl_context.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSurfaceFormat>
#include <algorithm>

#include "platform/qt/japanese_font.h"
#include "platform/qt/qt_image.h"

namespace platform::qt {

base::Result<std::unique_ptr<QtGlContext>> QtGlContext::create(QWindow& window) {
    std::unique_ptr<QtGlContext> context(new QtGlContext(window));
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSwapInterval(1);
    context->context_.setFormat(format);
    if (!context->context_.create()) return base::Failure{"no OpenGL 3.3 context could be created"};
    const QSurfaceFormat got = context->context_.format();
    if (got.majorVersion() * 10 + got.minorVersion() < 33) {
        return base::Failure{"no OpenGL 3.3 context could be created (got " +
                             std::to_string(got.majorVersion()) + "." + std::to_string(got.minorVersion()) +
                             ")"};
    }
    return context;
}

bool QtGlContext::makeCurrent() {
    return context_.makeCurrent(&window_);
}

void QtGlContext::swapBuffers() {
    context_.swapBuffers(&window_);
}

unsigned QtGlContext::defaultFramebuffer() const {
    return context_.defaultFramebufferObject();
}

bool QtGlContext::exposed() const {
    return window_.isExposed();
}

double QtGlContext::pixelRatio() const {
    return window_.devicePixelRatio();
}

base::Image QtTextPainter::paint(const std::string& text, std::uint32_t colour, int pixelHeight) {
    const QFont font = japaneseFont(pixelHeight);
    const QStringList lines = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).split('\n');
    const QFontMetrics metrics(font);
    int width = 1;
    for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    const int height = std::max(1, static_cast<int>(lines.size()) * metrics.lineSpacing());
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QColor::fromRgba(colour));
        for (qsizetype i = 0; i < lines.size(); ++i)
            painter.drawText(0, static_cast<int>(i) * metrics.lineSpacing() + metrics.ascent(), lines[i]);
    }
    return imageFromQImage(image);
}

}  // namespace platform::qt
