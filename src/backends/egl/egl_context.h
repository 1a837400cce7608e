#pragma once
// An OpenGL 3.3 core context with no window and no display: Mesa's surfaceless EGL platform,
// for rendering headless. What the device takes for the window is a framebuffer object of 8 bits
// a channel, as a window's would be, which the finished frame can be read back from.
#include <cstdint>
#include <memory>
#include <vector>

#include "base/image.h"
#include "base/result.h"
#include "device/gl_context.h"

namespace backends::egl {

class EglContext : public device::GlContext {
public:
    // Fails with the reason when the system has no surfaceless EGL or no OpenGL 3.3 through it.
    static base::Result<std::unique_ptr<EglContext>> create(int width, int height);
    ~EglContext() override;

    bool makeCurrent() override;
    void swapBuffers() override {}
    unsigned defaultFramebuffer() const override { return framebuffer_; }
    bool exposed() const override { return true; }
    double pixelRatio() const override { return 1.0; }

    // The presented frame, top row first, as a window on the screen would show it; the second
    // form reads into `into`, whose memory a frame of the same size reuses.
    base::Image readPresented() const;
    void readPresented(base::Image& into) const;

private:
    EglContext(int width, int height) : width_(width), height_(height) {}

    int width_, height_;
    void* display_ = nullptr;
    void* context_ = nullptr;
    unsigned framebuffer_ = 0, colour_ = 0;
    mutable std::vector<std::uint32_t> rows_;
};

}  // namespace backends::egl
