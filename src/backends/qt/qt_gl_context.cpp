#include "backends/qt/qt_gl_context.h"

#include <QSurfaceFormat>

namespace backends::qt {

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

}  // namespace backends::qt
