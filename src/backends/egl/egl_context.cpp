#include "backends/egl/egl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>
#include <string>
#include <vector>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

namespace backends::egl {

base::Result<std::unique_ptr<EglContext>> EglContext::create(int width, int height) {
    std::unique_ptr<EglContext> made(new EglContext(width, height));
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!extensions || !std::strstr(extensions, "EGL_MESA_platform_surfaceless"))
        return base::Failure{"EGL has no surfaceless platform (Mesa's EGL is needed)"};
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return base::Failure{"EGL cannot open a platform display"};
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
        return base::Failure{"EGL's surfaceless display could not be opened"};
    made->display_ = display;
    if (!eglBindAPI(EGL_OPENGL_API)) return base::Failure{"EGL offers no desktop OpenGL"};
    const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs < 1) {
        // Some drivers list no pbuffer configs on the surfaceless platform: any OpenGL one does.
        const EGLint anyAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        if (!eglChooseConfig(display, anyAttributes, &config, 1, &configs) || configs < 1)
            return base::Failure{"EGL has no OpenGL configuration"};
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        3,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) return base::Failure{"no OpenGL 3.3 context could be created through EGL"};
    made->context_ = context;
    if (!made->makeCurrent()) return base::Failure{"the EGL context could not be made current"};
    glGenRenderbuffers(1, &made->colour_);
    glBindRenderbuffer(GL_RENDERBUFFER, made->colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glGenFramebuffers(1, &made->framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, made->framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, made->colour_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return base::Failure{"the offscreen frame could not be made"};
    return made;
}

EglContext::~EglContext() {
    if (!display_) return;
    if (context_ && makeCurrent()) {
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &colour_);
    }
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_) eglDestroyContext(display_, context_);
    eglTerminate(display_);
}

bool EglContext::makeCurrent() {
    return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
}

base::Image EglContext::readPresented() const {
    base::Image image;
    readPresented(image);
    return image;
}

void EglContext::readPresented(base::Image& into) const {
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    if (into.width != width_ || into.height != height_) into = base::Image(width_, height_);
    rows_.resize(count);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, rows_.data());
    // OpenGL's rows run bottom up.
    for (int y = 0; y < height_; ++y)
        std::memcpy(&into.pixels[static_cast<std::size_t>(y) * width_],
                    &rows_[static_cast<std::size_t>(height_ - 1 - y) * width_],
                    static_cast<std::size_t>(width_) * 4);
}

}  // namespace backends::egl
