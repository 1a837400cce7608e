#include "platform/qt/gl_device.h"

#include <QSurfaceFormat>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/qt/gl_shaders.h"
#include "platform/qt/gl_text_font.h"

namespace platform::qt {

namespace {

using render::RenderState;
using render::TextureStageState;

class GlTexture final : public render::Texture {
public:
    GlTexture(QOpenGLFunctions_3_3_Core& gl, unsigned id, int w, int h) : gl_(gl), id_(id), w_(w), h_(h) {}
    ~GlTexture() override { gl_.glDeleteTextures(1, &id_); }
    int width() const override { return w_; }
    int height() const override { return h_; }
    unsigned id() const { return id_; }

private:
    QOpenGLFunctions_3_3_Core& gl_;
    unsigned id_;
    int w_, h_;
};

class GlVertexBuffer final : public render::VertexBuffer {
public:
    GlVertexBuffer(QOpenGLFunctions_3_3_Core& gl, std::uint32_t length) : gl_(gl), shadow_(length) {
        gl_.glGenBuffers(1, &id_);
        gl_.glBindBuffer(GL_ARRAY_BUFFER, id_);
        gl_.glBufferData(GL_ARRAY_BUFFER, length, nullptr, GL_STATIC_DRAW);
    }
    ~GlVertexBuffer() override { gl_.glDeleteBuffers(1, &id_); }
    // A system-memory copy is written and uploaded whole at unlock, as a plain lock would.
    void* lock() override { return shadow_.data(); }
    void unlock() override {
        gl_.glBindBuffer(GL_ARRAY_BUFFER, id_);
        gl_.glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(shadow_.size()), shadow_.data());
    }
    std::uint32_t length() const override { return static_cast<std::uint32_t>(shadow_.size()); }
    unsigned id() const { return id_; }

private:
    QOpenGLFunctions_3_3_Core& gl_;
    unsigned id_ = 0;
    std::vector<std::uint8_t> shadow_;
};

class GlMesh final : public render::Mesh {
public:
    struct Range {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };
    GlMesh(QOpenGLFunctions_3_3_Core& gl, const render::MeshData& data) : gl_(gl) {
        // Triangles are grouped by attribute id so that one subset is one draw call.
        std::uint32_t maxAttribute = 0;
        for (auto a : data.attributes) maxAttribute = std::max(maxAttribute, a);
        ranges_.resize(data.attributes.empty() ? 0 : maxAttribute + 1u);
        std::vector<std::uint32_t> sorted;
        sorted.reserve(data.indices.size());
        for (std::uint32_t attribute = 0; attribute < ranges_.size(); ++attribute) {
            ranges_[attribute].first = static_cast<std::uint32_t>(sorted.size());
            for (std::size_t t = 0; t < data.attributes.size(); ++t)
                if (data.attributes[t] == attribute)
                    sorted.insert(sorted.end(), data.indices.begin() + static_cast<long>(t * 3),
                                  data.indices.begin() + static_cast<long>(t * 3 + 3));
            ranges_[attribute].count = static_cast<std::uint32_t>(sorted.size()) - ranges_[attribute].first;
        }
        triangles_ = data.triangleCount();
        gl_.glGenVertexArrays(1, &vao_);
        gl_.glBindVertexArray(vao_);
        gl_.glGenBuffers(1, &vbo_);
        gl_.glBindBuffer(GL_ARRAY_BUFFER, vbo_);
        gl_.glBufferData(GL_ARRAY_BUFFER,
                         static_cast<GLsizeiptr>(data.vertices.size() * sizeof(render::MeshVertex)),
                         data.vertices.data(), GL_STATIC_DRAW);
        gl_.glGenBuffers(1, &ibo_);
        gl_.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo_);
        gl_.glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(sorted.size() * 4), sorted.data(),
                         GL_STATIC_DRAW);
        const auto stride = static_cast<GLsizei>(sizeof(render::MeshVertex));
        gl_.glEnableVertexAttribArray(0);
        gl_.glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(0));
        gl_.glEnableVertexAttribArray(1);
        gl_.glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(12));
        gl_.glEnableVertexAttribArray(2);
        gl_.glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(24));
        gl_.glBindVertexArray(0);
    }
    ~GlMesh() override {
        gl_.glDeleteBuffers(1, &vbo_);
        gl_.glDeleteBuffers(1, &ibo_);
        gl_.glDeleteVertexArrays(1, &vao_);
    }
    std::size_t triangleCount() const override { return triangles_; }
    unsigned vao() const { return vao_; }
    const Range* range(std::uint32_t attribute) const {
        return attribute < ranges_.size() ? &ranges_[attribute] : nullptr;
    }

private:
    QOpenGLFunctions_3_3_Core& gl_;
    unsigned vao_ = 0, vbo_ = 0, ibo_ = 0;
    std::vector<Range> ranges_;
    std::size_t triangles_ = 0;
};

unsigned compile(QOpenGLFunctions_3_3_Core& gl, const char* vertex, const char* fragment,
                 std::string& error) {
    auto stage = [&](GLenum type, const char* source) -> unsigned {
        const unsigned shader = gl.glCreateShader(type);
        gl.glShaderSource(shader, 1, &source, nullptr);
        gl.glCompileShader(shader);
        GLint ok = 0;
        gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            gl.glGetShaderInfoLog(shader, sizeof log, nullptr, log);
            error = std::string("a shader did not compile: ") + log;
        }
        return shader;
    };
    const unsigned vs = stage(GL_VERTEX_SHADER, vertex);
    const unsigned fs = stage(GL_FRAGMENT_SHADER, fragment);
    const unsigned program = gl.glCreateProgram();
    gl.glAttachShader(program, vs);
    gl.glAttachShader(program, fs);
    gl.glLinkProgram(program);
    gl.glDeleteShader(vs);
    gl.glDeleteShader(fs);
    GLint ok = 0;
    gl.glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok && error.empty()) error = "a shader program did not link";
    return ok ? program : 0;
}

void setColour(QOpenGLFunctions_3_3_Core& gl, unsigned program, const char* name,
               const render::ColourValue& c) {
    gl.glUniform4f(gl.glGetUniformLocation(program, name), c.r, c.g, c.b, c.a);
}

void setMatrix(QOpenGLFunctions_3_3_Core& gl, unsigned program, const char* name, const render::Matrix& m) {
    // Row-major row-vector matrices read as column-major are their transposes, so that the
    // shader's column-vector products give the row-vector results.
    gl.glUniformMatrix4fv(gl.glGetUniformLocation(program, name), 1, GL_FALSE, &m.m[0][0]);
}

GLenum blendFactor(std::uint32_t d3dBlend) {
    switch (d3dBlend) {
        case 1:
            return GL_ZERO;
        case 2:
            return GL_ONE;
        case 3:
            return GL_SRC_COLOR;
        case 4:
            return GL_ONE_MINUS_SRC_COLOR;
        case 5:
            return GL_SRC_ALPHA;
        case 6:
            return GL_ONE_MINUS_SRC_ALPHA;
        case 7:
            return GL_DST_ALPHA;
        case 8:
            return GL_ONE_MINUS_DST_ALPHA;
        case 9:
            return GL_DST_COLOR;
        case 10:
            return GL_ONE_MINUS_DST_COLOR;
        default:
            return GL_ONE;
    }
}

}  // namespace

GlDevice::GlDevice(QWindow& window, int width, int height) : window_(window), width_(width), height_(height) {
    // Direct3D 9's initial states.
    renderStates_[RenderState::Lighting] = 1;
    renderStates_[RenderState::SpecularEnable] = 0;
    renderStates_[RenderState::AlphaBlendEnable] = 0;
    renderStates_[RenderState::SrcBlend] = 2;
    renderStates_[RenderState::DestBlend] = 1;
    stageStates_[1] = render::kTopModulate;    // colour op
    stageStates_[2] = render::kTaTexture;      // colour argument 1
    stageStates_[3] = 1;                       // colour argument 2: current
    stageStates_[4] = render::kTopSelectArg1;  // alpha op
    stageStates_[5] = render::kTaTexture;      // alpha argument 1
    stageStates_[6] = 1;                       // alpha argument 2: current
}

std::unique_ptr<GlDevice> GlDevice::create(QWindow& window, int width, int height, std::string& error) {
    std::unique_ptr<GlDevice> device(new GlDevice(window, width, height));
    if (!device->initialise(error)) return nullptr;
    return device;
}

bool GlDevice::initialise(std::string& error) {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSwapInterval(1);
    context_ = std::make_unique<QOpenGLContext>();
    context_->setFormat(format);
    if (!context_->create()) {
        error = "no OpenGL 3.3 context could be created";
        return false;
    }
    const QSurfaceFormat got = context_->format();
    if (got.majorVersion() * 10 + got.minorVersion() < 33) {
        error = "no OpenGL 3.3 context could be created (got " + std::to_string(got.majorVersion()) + "." +
                std::to_string(got.minorVersion()) + ")";
        return false;
    }
    if (!context_->makeCurrent(&window_)) {
        error = "the OpenGL context could not be made current on the viewer";
        return false;
    }
    if (!gl_.initializeOpenGLFunctions()) {
        error = "the OpenGL 3.3 functions could not be resolved";
        return false;
    }
    // The back buffer: 16-bit 5-6-5 colour and 16-bit depth, whatever the window's format.
    gl_.glGenRenderbuffers(1, &colourBuffer_);
    gl_.glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer_);
    gl_.glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, width_, height_);
    gl_.glGenRenderbuffers(1, &depthBuffer_);
    gl_.glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
    gl_.glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width_, height_);
    gl_.glGenFramebuffers(1, &framebuffer_);
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer_);
    gl_.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    if (gl_.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "the 5-6-5 back buffer could not be created";
        return false;
    }
    litProgram_ = compile(gl_, shaders::kLitVertex, shaders::kFragment, error);
    pretransformedProgram_ = compile(gl_, shaders::kPretransformedVertex, shaders::kFragment, error);
    textProgram_ = compile(gl_, shaders::kTextVertex, shaders::kTextFragment, error);
    if (!litProgram_ || !pretransformedProgram_ || !textProgram_) return false;
    gl_.glGenVertexArrays(1, &streamVao_);
    gl_.glGenVertexArrays(1, &textVao_);
    gl_.glGenBuffers(1, &textVbo_);
    gl_.glViewport(0, 0, width_, height_);
    gl_.glEnable(GL_DEPTH_TEST);
    gl_.glDepthFunc(GL_LEQUAL);
    gl_.glDepthMask(GL_TRUE);
    // Direct3D culls counter-clockwise triangles as seen on the screen.
    gl_.glEnable(GL_CULL_FACE);
    gl_.glFrontFace(GL_CW);
    gl_.glCullFace(GL_BACK);
    return true;
}

GlDevice::~GlDevice() {
    if (!context_ || !context_->makeCurrent(&window_)) return;
    gl_.glDeleteProgram(litProgram_);
    gl_.glDeleteProgram(pretransformedProgram_);
    gl_.glDeleteProgram(textProgram_);
    gl_.glDeleteVertexArrays(1, &streamVao_);
    gl_.glDeleteVertexArrays(1, &textVao_);
    gl_.glDeleteBuffers(1, &textVbo_);
    gl_.glDeleteFramebuffers(1, &framebuffer_);
    gl_.glDeleteRenderbuffers(1, &colourBuffer_);
    gl_.glDeleteRenderbuffers(1, &depthBuffer_);
}

void GlDevice::beginScene() {
    context_->makeCurrent(&window_);
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_.glViewport(0, 0, width_, height_);
}

void GlDevice::clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t) {
    GLbitfield mask = 0;
    if (flags & render::kClearTarget) {
        gl_.glClearColor(static_cast<float>((colour >> 16) & 0xFF) / 255.0f,
                         static_cast<float>((colour >> 8) & 0xFF) / 255.0f,
                         static_cast<float>(colour & 0xFF) / 255.0f,
                         static_cast<float>((colour >> 24) & 0xFF) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & render::kClearZBuffer) {
        gl_.glClearDepth(z);
        gl_.glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    gl_.glClear(mask);
}

void GlDevice::endScene() {}

void GlDevice::present() {
    if (!window_.isExposed()) return;
    const qreal ratio = window_.devicePixelRatio();
    gl_.glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    gl_.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context_->defaultFramebufferObject());
    gl_.glBlitFramebuffer(0, 0, width_, height_, 0, 0, static_cast<int>(width_ * ratio),
                          static_cast<int>(height_ * ratio), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    context_->swapBuffers(&window_);
}

void GlDevice::setTransform(render::TransformState state, const render::Matrix& matrix) {
    switch (state) {
        case render::TransformState::World:
            world_ = matrix;
            break;
        case render::TransformState::View:
            view_ = matrix;
            break;
        case render::TransformState::Projection:
            projection_ = matrix;
            break;
    }
}

void GlDevice::setMaterial(const render::Material& material) {
    material_ = material;
}

void GlDevice::setTexture(int stage, render::Texture* texture) {
    if (stage == 0) texture_ = texture;
}

void GlDevice::setLight(int index, const render::Light& light) {
    lights_[index] = light;
}

void GlDevice::lightEnable(int index, bool enable) {
    lightEnabled_[index] = enable;
}

void GlDevice::setRenderState(render::RenderState state, std::uint32_t value) {
    renderStates_[state] = value;
}

void GlDevice::setTextureStageState(int stage, render::TextureStageState state, std::uint32_t value) {
    const auto index = static_cast<std::size_t>(state);
    if (stage == 0 && index < stageStates_.size()) stageStates_[index] = value;
}

std::unique_ptr<render::VertexBuffer> GlDevice::createVertexBuffer(std::uint32_t length, std::uint32_t) {
    context_->makeCurrent(&window_);
    return std::make_unique<GlVertexBuffer>(gl_, length);
}

void GlDevice::setStreamSource(int stream, render::VertexBuffer* buffer, std::uint32_t offset,
                               std::uint32_t stride) {
    if (stream != 0) return;
    stream_ = buffer;
    streamOffset_ = offset;
    streamStride_ = stride;
}

void GlDevice::setFvf(std::uint32_t) {}

void GlDevice::applyBlend() {
    if (renderStates_[RenderState::AlphaBlendEnable]) {
        gl_.glEnable(GL_BLEND);
        gl_.glBlendFunc(blendFactor(renderStates_[RenderState::SrcBlend]),
                        blendFactor(renderStates_[RenderState::DestBlend]));
    } else {
        gl_.glDisable(GL_BLEND);
    }
}

void GlDevice::applyStageUniforms(unsigned program, bool lit) {
    gl_.glUseProgram(program);
    const auto* texture = dynamic_cast<GlTexture*>(texture_);
    gl_.glActiveTexture(GL_TEXTURE0);
    gl_.glBindTexture(GL_TEXTURE_2D, texture ? texture->id() : 0);
    gl_.glUniform1i(gl_.glGetUniformLocation(program, "stageTexture"), 0);
    gl_.glUniform1i(gl_.glGetUniformLocation(program, "hasTexture"), texture ? 1 : 0);
    gl_.glUniform1i(gl_.glGetUniformLocation(program, "colourOp"), static_cast<int>(stageStates_[1]));
    gl_.glUniform1i(gl_.glGetUniformLocation(program, "colourArg1"), static_cast<int>(stageStates_[2]));
    gl_.glUniform1i(gl_.glGetUniformLocation(program, "colourArg2"), static_cast<int>(stageStates_[3]));
    gl_.glUniform1i(gl_.glGetUniformLocation(program, "alphaOp"), static_cast<int>(stageStates_[4]));
    gl_.glUniform1i(gl_.glGetUniformLocation(program, "alphaArg1"), static_cast<int>(stageStates_[5]));
    gl_.glUniform1i(gl_.glGetUniformLocation(program, "alphaArg2"), static_cast<int>(stageStates_[6]));
    gl_.glUniform1i(
        gl_.glGetUniformLocation(program, "addSpecular"),
        lit && renderStates_[RenderState::SpecularEnable] && renderStates_[RenderState::Lighting] ? 1 : 0);
    applyBlend();
}

void GlDevice::drawPrimitive(render::PrimitiveType type, std::uint32_t startVertex,
                             std::uint32_t primitiveCount) {
    auto* buffer = dynamic_cast<GlVertexBuffer*>(stream_);
    if (!buffer || streamStride_ != 28 || primitiveCount == 0) return;
    applyStageUniforms(pretransformedProgram_, false);
    gl_.glUniform2f(gl_.glGetUniformLocation(pretransformedProgram_, "viewport"), static_cast<float>(width_),
                    static_cast<float>(height_));
    gl_.glBindVertexArray(streamVao_);
    gl_.glBindBuffer(GL_ARRAY_BUFFER, buffer->id());
    const auto base = static_cast<std::uintptr_t>(streamOffset_);
    gl_.glEnableVertexAttribArray(0);
    gl_.glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 28, reinterpret_cast<void*>(base));
    gl_.glEnableVertexAttribArray(1);
    // D3DCOLOR is stored as the bytes blue, green, red, alpha.
    gl_.glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 28, reinterpret_cast<void*>(base + 16));
    gl_.glEnableVertexAttribArray(2);
    gl_.glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 28, reinterpret_cast<void*>(base + 20));
    const bool strip = type == render::PrimitiveType::TriangleStrip;
    gl_.glDrawArrays(strip ? GL_TRIANGLE_STRIP : GL_TRIANGLES, static_cast<GLint>(startVertex),
                     static_cast<GLsizei>(strip ? primitiveCount + 2 : primitiveCount * 3));
    gl_.glBindVertexArray(0);
}

std::unique_ptr<render::Mesh> GlDevice::createMesh(const render::MeshData& data) {
    context_->makeCurrent(&window_);
    return std::make_unique<GlMesh>(gl_, data);
}

void GlDevice::drawSubset(render::Mesh& mesh, std::uint32_t attributeId) {
    auto* glMesh = dynamic_cast<GlMesh*>(&mesh);
    const GlMesh::Range* range = glMesh ? glMesh->range(attributeId) : nullptr;
    if (!range || range->count == 0) return;
    const unsigned p = litProgram_;
    applyStageUniforms(p, true);
    setMatrix(gl_, p, "world", world_);
    setMatrix(gl_, p, "view", view_);
    setMatrix(gl_, p, "projection", projection_);
    gl_.glUniform1i(gl_.glGetUniformLocation(p, "lighting"), renderStates_[RenderState::Lighting] ? 1 : 0);
    gl_.glUniform1i(gl_.glGetUniformLocation(p, "specularEnable"),
                    renderStates_[RenderState::SpecularEnable] ? 1 : 0);
    // One directional light: the lowest enabled index.
    const render::Light* light = nullptr;
    for (const auto& [index, l] : lights_)
        if (lightEnabled_[index] && l.type == 3) {
            light = &l;
            break;
        }
    gl_.glUniform1i(gl_.glGetUniformLocation(p, "lightOn"), light ? 1 : 0);
    if (light) {
        // Directions are transformed into camera space by the view's rotation.
        const float* d = light->direction;
        float c[3];
        for (int j = 0; j < 3; ++j) c[j] = d[0] * view_.m[0][j] + d[1] * view_.m[1][j] + d[2] * view_.m[2][j];
        gl_.glUniform3f(gl_.glGetUniformLocation(p, "lightDirection"), c[0], c[1], c[2]);
        setColour(gl_, p, "lightDiffuse", light->diffuse);
        setColour(gl_, p, "lightSpecular", light->specular);
        setColour(gl_, p, "lightAmbient", light->ambient);
    }
    setColour(gl_, p, "materialDiffuse", material_.diffuse);
    setColour(gl_, p, "materialAmbient", material_.ambient);
    setColour(gl_, p, "materialSpecular", material_.specular);
    setColour(gl_, p, "materialEmissive", material_.emissive);
    gl_.glUniform1f(gl_.glGetUniformLocation(p, "materialPower"), material_.power);
    gl_.glBindVertexArray(glMesh->vao());
    gl_.glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(range->count), GL_UNSIGNED_INT,
                       reinterpret_cast<void*>(static_cast<std::uintptr_t>(range->first) * 4));
    gl_.glBindVertexArray(0);
}

std::unique_ptr<render::Texture> GlDevice::createTexture(const render::Image& image) {
    if (image.empty()) return nullptr;
    context_->makeCurrent(&window_);
    unsigned id = 0;
    gl_.glGenTextures(1, &id);
    gl_.glBindTexture(GL_TEXTURE_2D, id);
    // Direct3D 9's sampler defaults: point filtering and wrap addressing.
    gl_.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl_.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl_.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl_.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    gl_.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl_.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width, image.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     image.pixels.data());
    return std::make_unique<GlTexture>(gl_, id, image.width, image.height);
}

std::unique_ptr<render::TextFont> GlDevice::createTextFont(int height) {
    return std::make_unique<GlTextFont>(*this, height);
}

void GlDevice::drawPicture(unsigned texture, int x, int y, int w, int h) {
    const float x0 = static_cast<float>(x), y0 = static_cast<float>(y);
    const float x1 = x0 + static_cast<float>(w), y1 = y0 + static_cast<float>(h);
    const float quad[] = {x0, y0, 0, 0, x1, y0, 1, 0, x0, y1, 0, 1, x1, y1, 1, 1};
    gl_.glUseProgram(textProgram_);
    gl_.glUniform2f(gl_.glGetUniformLocation(textProgram_, "viewport"), static_cast<float>(width_),
                    static_cast<float>(height_));
    gl_.glUniform1i(gl_.glGetUniformLocation(textProgram_, "glyphs"), 0);
    gl_.glActiveTexture(GL_TEXTURE0);
    gl_.glBindTexture(GL_TEXTURE_2D, texture);
    gl_.glBindVertexArray(textVao_);
    gl_.glBindBuffer(GL_ARRAY_BUFFER, textVbo_);
    gl_.glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STREAM_DRAW);
    gl_.glEnableVertexAttribArray(0);
    gl_.glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(0));
    gl_.glEnableVertexAttribArray(1);
    gl_.glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(8));
    // The font blends its glyphs whatever the device's blend state, and leaves that state alone.
    gl_.glEnable(GL_BLEND);
    gl_.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl_.glDisable(GL_DEPTH_TEST);
    gl_.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    gl_.glEnable(GL_DEPTH_TEST);
    gl_.glBindVertexArray(0);
    applyBlend();
}

render::Image GlDevice::readBackBuffer() {
    render::Image image(width_, height_);
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    gl_.glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    gl_.glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < height_; ++y)
        std::memcpy(&image.pixels[static_cast<std::size_t>(y) * width_],
                    &rows[static_cast<std::size_t>(height_ - 1 - y) * width_],
                    static_cast<std::size_t>(width_) * 4);
    return image;
}

}  // namespace platform::qt
