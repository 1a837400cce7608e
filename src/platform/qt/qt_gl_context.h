#pragma once
// The OpenGL device's context on a Qt window: a Qt OpenGL 3.3 core context with a swap
// interval of one, current on that window.
#include <QOpenGLContext>
#include <QWindow>
#include <memory>

#include "base/result.h"
#include "platform/gl/gl_context.h"

namespace platform::qt {

class QtGlContext final : public gl::GlContext {
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

// Text painted by Qt in the Japanese gothic face.
class QtTextPainter final : public gl::TextPainter {
public:
    base::Image paint(const std::string& text, std::uint32_t colour, int pixelHeight) override;
};

}  // namespace platform::qt
