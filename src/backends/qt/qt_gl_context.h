#pragma once
// Implements device::GlContext on a Qt window: a Qt OpenGL 3.3 core context with a swap interval of
// one, current on that window.
// Does not: make the window (QtShell does), or draw (the OpenGL device does).
#include <QOpenGLContext>
#include <QWindow>
#include <memory>

#include "base/result.h"
#include "device/gl_context.h"

namespace backends::qt {

class QtGlContext final : public device::GlContext {
public:
    // `window` must have an OpenGL surface and outlive the context.
    static base::Result<std::unique_ptr<QtGlContext>> create(QWindow& window);

    bool makeCurrent() override;
    void swapBuffers() override;
    unsigned defaultFramebuffer() const override;
    bool exposed() const override;
    double pixelRatio() const override;

private:
    explicit QtGlContext(QWindow& window) : window_(window) {}
    QWindow& window_;
    QOpenGLContext context_;
};

}  // namespace backends::qt
