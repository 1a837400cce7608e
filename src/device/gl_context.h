#pragma once
// What the OpenGL device needs of the window system, which the shell provides: a context on
// the viewer's surface, and text drawn by the system's font engine.
#include "device/text_painter.h"

namespace device {

class GlContext {
public:
    virtual ~GlContext() = default;
    // Makes the OpenGL 3.3 core context current on this thread, on the viewer's surface.
    virtual bool makeCurrent() = 0;
    virtual void swapBuffers() = 0;
    // The framebuffer object the window shows.
    virtual unsigned defaultFramebuffer() const = 0;
    // Nothing is presented while the surface cannot be seen.
    virtual bool exposed() const = 0;
    // Device pixels per window pixel.
    virtual double pixelRatio() const = 0;
};

using device::TextPainter;

}  // namespace device
