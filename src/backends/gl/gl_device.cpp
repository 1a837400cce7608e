#include "backends/gl/gl_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "backends/gl/gl_api.h"
#include "backends/gl/gl_mesh.h"
#include "backends/gl/gl_shaders.h"
#include "backends/gl/gl_text_font.h"
#include "backends/gl/gl_texture.h"
#include "backends/gl/gl_vertex_buffer.h"

namespace backends::gl {

namespace {

using device::RenderState;
using device::TextureStageState;

// One stage of a program from its source with `defines` in front; its info log is the reason it
// did not compile.
base::Result<unsigned> compileStage(GLenum type, const std::string& defines, const char* source) {
    const unsigned shader = glCreateShader(type);
    const char* parts[] = {shaders::kVersion, defines.c_str(), source};
    glShaderSource(shader, 3, parts, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return shader;
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    glDeleteShader(shader);
    return base::Failure{std::string("a shader did not compile: ") + log};
}

base::Result<unsigned> compile(const char* vertex, const char* fragment, const std::string& defines = {}) {
    auto vs = compileStage(GL_VERTEX_SHADER, defines, vertex);
    if (!vs) return vs.failure();
    auto fs = compileStage(GL_FRAGMENT_SHADER, defines, fragment);
    if (!fs) {
        glDeleteShader(*vs);
        return fs.failure();
    }
    const unsigned program = glCreateProgram();
    glAttachShader(program, *vs);
    glAttachShader(program, *fs);
    glLinkProgram(program);
    glDeleteShader(*vs);
    glDeleteShader(*fs);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok) return program;
    glDeleteProgram(program);
    return base::Failure{"a shader program did not link"};
}

// The defines line of a mesh or stage program (see the shaders).
std::string definesOf(unsigned features) {
    std::string defines;
    const auto define = [&](const char* name, unsigned bit) {
        defines += std::string("#define ") + name + ((features & bit) ? " 1\n" : " 0\n");
    };
    define("LIGHT", GlDevice::kLight);
    define("SPECULAR", GlDevice::kSpecular);
    define("TEXTURE", GlDevice::kTexture);
    define("VERTEX_COLOUR", GlDevice::kVertexColour);
    return defines;
}

float saturate(float v) {
    return std::clamp(v, 0.0f, 1.0f);
}

bool isBlack(const base::ColourValue& c) {
    return c.r == 0.0f && c.g == 0.0f && c.b == 0.0f;
}

void setMatrix(unsigned program, const char* name, const base::Matrix& m) {
    // Row-major row-vector matrices read as column-major are their transposes, so that the
    // shader's column-vector products give the row-vector results.
    glUniformMatrix4fv(glGetUniformLocation(program, name), 1, GL_FALSE, &m.m[0][0]);
}

GLenum blendFactor(std::uint32_t d3dBlend) {
    switch (d3dBlend) {
        case device::kBlendZero:
            return GL_ZERO;
        case device::kBlendOne:
            return GL_ONE;
        case device::kBlendSrcColor:
            return GL_SRC_COLOR;
        case device::kBlendInvSrcColor:
            return GL_ONE_MINUS_SRC_COLOR;
        case device::kBlendSrcAlpha:
            return GL_SRC_ALPHA;
        case device::kBlendInvSrcAlpha:
            return GL_ONE_MINUS_SRC_ALPHA;
        case device::kBlendDestAlpha:
            return GL_DST_ALPHA;
        case device::kBlendInvDestAlpha:
            return GL_ONE_MINUS_DST_ALPHA;
        case device::kBlendDestColor:
            return GL_DST_COLOR;
        case device::kBlendInvDestColor:
            return GL_ONE_MINUS_DST_COLOR;
        default:
            return GL_ONE;
    }
}

}  // namespace

GlDevice::GlDevice(std::unique_ptr<device::GlContext> context, std::unique_ptr<device::TextPainter> painter,
                   int width, int height)
    : context_(std::move(context)), painter_(std::move(painter)), width_(width), height_(height) {
    // Direct3D 9's initial states.
    renderStates_[device::RenderState::Lighting] = 1;
    renderStates_[device::RenderState::SpecularEnable] = 0;
    renderStates_[device::RenderState::AlphaBlendEnable] = 0;
    renderStates_[device::RenderState::SrcBlend] = device::kBlendOne;
    renderStates_[device::RenderState::DestBlend] = device::kBlendZero;
}

base::Result<std::unique_ptr<GlDevice>> GlDevice::create(std::unique_ptr<device::GlContext> context,
                                                         std::unique_ptr<device::TextPainter> painter,
                                                         int width, int height) {
    std::unique_ptr<GlDevice> device(new GlDevice(std::move(context), std::move(painter), width, height));
    if (auto ready = device->initialise(); !ready) return ready.failure();
    return device;
}

base::Status GlDevice::initialise() {
    if (!context_->makeCurrent())
        return base::Failure{"the OpenGL context could not be made current on the viewer"};
    // The back buffer: 16-bit 5-6-5 colour and 16-bit depth, whatever the window's format.
    // A texture, not a renderbuffer: presenting draws it with the picture program, whose
    // compiled state the software renderer already has from the texts, where a blit between
    // the two formats would compile a converter of its own at start-up.
    glGenTextures(1, &colourTexture_);
    glBindTexture(GL_TEXTURE_2D, colourTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB565, width_, height_, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glGenRenderbuffers(1, &depthBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width_, height_);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colourTexture_, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return base::Failure{"the 5-6-5 back buffer could not be created"};
    auto text = compile(shaders::kTextVertex, shaders::kTextFragment);
    if (!text) return text.failure();
    textProgram_ = *text;
    glGenVertexArrays(1, &streamVao_);
    glGenVertexArrays(1, &textVao_);
    glGenBuffers(1, &textVbo_);
    glViewport(0, 0, width_, height_);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    // Direct3D culls counter-clockwise triangles as seen on the screen.
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    return base::Done{};
}

GlDevice::~GlDevice() {
    if (!context_->makeCurrent()) return;
    for (const auto& [features, made] : programs_) glDeleteProgram(made);
    glDeleteProgram(textProgram_);
    glDeleteVertexArrays(1, &streamVao_);
    glDeleteVertexArrays(1, &textVao_);
    glDeleteBuffers(1, &textVbo_);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(1, &colourTexture_);
    glDeleteRenderbuffers(1, &depthBuffer_);
}

void GlDevice::beginScene() {
    context_->makeCurrent();
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, width_, height_);
}

void GlDevice::clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t) {
    GLbitfield mask = 0;
    if (flags & device::kClearTarget) {
        glClearColor(static_cast<float>((colour >> 16) & 0xFF) / 255.0f,
                     static_cast<float>((colour >> 8) & 0xFF) / 255.0f,
                     static_cast<float>(colour & 0xFF) / 255.0f,
                     static_cast<float>((colour >> 24) & 0xFF) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & device::kClearZBuffer) {
        glClearDepth(z);
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    glClear(mask);
}

void GlDevice::endScene() {}

void GlDevice::present() {
    if (!context_->exposed()) return;
    const double ratio = context_->pixelRatio();
    const float w = static_cast<float>(width_ * ratio), h = static_cast<float>(height_ * ratio);
    // The back buffer's bottom row is its first: v runs up.
    const float corners[] = {0, 0, 0, 1, w, 0, 1, 1, 0, h, 0, 0, w, h, 1, 0};
    glBindFramebuffer(GL_FRAMEBUFFER, context_->defaultFramebuffer());
    glViewport(0, 0, static_cast<int>(w), static_cast<int>(h));
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    drawQuad(colourTexture_, w, h, corners);
    context_->swapBuffers();
    // The next scene binds its frame buffer and viewport again, and each draw sets its blending.
    glEnable(GL_DEPTH_TEST);
}

void GlDevice::presentAgain() {
    // The frame stays in our own framebuffer after presenting, so it can be shown again as is.
    if (!context_->makeCurrent()) return;
    present();
}

void GlDevice::setTransform(device::TransformState state, const base::Matrix& matrix) {
    switch (state) {
        case device::TransformState::World:
            world_ = matrix;
            break;
        case device::TransformState::View:
            view_ = matrix;
            break;
        case device::TransformState::Projection:
            projection_ = matrix;
            break;
    }
}

void GlDevice::setMaterial(const base::Material& material) {
    material_ = material;
}

void GlDevice::setTexture(int stage, device::Texture* texture) {
    if (stage == 0) texture_ = texture;
}

void GlDevice::setLight(int index, const device::Light& light) {
    lights_[index] = light;
}

void GlDevice::lightEnable(int index, bool enable) {
    lightEnabled_[index] = enable;
}

void GlDevice::setRenderState(device::RenderState state, std::uint32_t value) {
    renderStates_[state] = value;
}

void GlDevice::setTextureStageState(int stage, device::TextureStageState state, std::uint32_t value) {
    if (stage != 0) return;
    switch (state) {
        case device::TextureStageState::ColorOp:
            stage0_.colourOp = value;
            break;
        case device::TextureStageState::ColorArg1:
            stage0_.colourArg1 = value;
            break;
        case device::TextureStageState::ColorArg2:
            stage0_.colourArg2 = value;
            break;
        case device::TextureStageState::AlphaOp:
            stage0_.alphaOp = value;
            break;
        case device::TextureStageState::AlphaArg1:
            stage0_.alphaArg1 = value;
            break;
        case device::TextureStageState::AlphaArg2:
            stage0_.alphaArg2 = value;
            break;
    }
}

std::unique_ptr<device::VertexBuffer> GlDevice::createVertexBuffer(std::uint32_t length, std::uint32_t) {
    context_->makeCurrent();
    return std::make_unique<GlVertexBuffer>(length);
}

void GlDevice::setStreamSource(int stream, device::VertexBuffer* buffer, std::uint32_t offset,
                               std::uint32_t stride) {
    if (stream != 0) return;
    stream_ = buffer;
    streamOffset_ = offset;
    streamStride_ = stride;
}

void GlDevice::setFvf(std::uint32_t) {}

void GlDevice::applyBlend() {
    if (renderStates_[device::RenderState::AlphaBlendEnable]) {
        glEnable(GL_BLEND);
        glBlendFunc(blendFactor(renderStates_[device::RenderState::SrcBlend]),
                    blendFactor(renderStates_[device::RenderState::DestBlend]));
    } else {
        glDisable(GL_BLEND);
    }
}

unsigned GlDevice::program(unsigned features) {
    if (const auto found = programs_.find(features); found != programs_.end()) return found->second;
    // Built when a state first needs it; one that does not build draws nothing (and is not
    // tried again every frame).
    auto made = features & kVertexColour ? compile(shaders::kPretransformedVertex, shaders::kFragment, definesOf(features))
                                         : compile(shaders::kLitVertex, shaders::kFragment, definesOf(features));
    return programs_[features] = made ? *made : 0;
}

void GlDevice::applyStageUniforms(unsigned program) {
    glUseProgram(program);
    if (const auto* texture = dynamic_cast<GlTexture*>(texture_)) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture->id());
        glUniform1i(glGetUniformLocation(program, "stageTexture"), 0);
        glUniform1i(glGetUniformLocation(program, "hasTexture"), 1);
    }
    glUniform1i(glGetUniformLocation(program, "colourOp"), static_cast<int>(stage0_.colourOp));
    glUniform1i(glGetUniformLocation(program, "colourArg1"), static_cast<int>(stage0_.colourArg1));
    glUniform1i(glGetUniformLocation(program, "colourArg2"), static_cast<int>(stage0_.colourArg2));
    glUniform1i(glGetUniformLocation(program, "alphaOp"), static_cast<int>(stage0_.alphaOp));
    glUniform1i(glGetUniformLocation(program, "alphaArg1"), static_cast<int>(stage0_.alphaArg1));
    glUniform1i(glGetUniformLocation(program, "alphaArg2"), static_cast<int>(stage0_.alphaArg2));
    applyBlend();
}

void GlDevice::drawPrimitive(device::PrimitiveType type, std::uint32_t startVertex,
                             std::uint32_t primitiveCount) {
    auto* buffer = dynamic_cast<GlVertexBuffer*>(stream_);
    if (!buffer || streamStride_ != 28 || primitiveCount == 0) return;
    const unsigned p = program(kVertexColour | kTexture);
    if (!p) return;
    applyStageUniforms(p);
    if (!dynamic_cast<GlTexture*>(texture_)) glUniform1i(glGetUniformLocation(p, "hasTexture"), 0);
    glUniform2f(glGetUniformLocation(p, "viewport"), static_cast<float>(width_), static_cast<float>(height_));
    glBindVertexArray(streamVao_);
    glBindBuffer(GL_ARRAY_BUFFER, buffer->id());
    const auto base = static_cast<std::uintptr_t>(streamOffset_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 28, reinterpret_cast<void*>(base));
    glEnableVertexAttribArray(1);
    // D3DCOLOR is stored as the bytes blue, green, red, alpha.
    glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 28, reinterpret_cast<void*>(base + 16));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 28, reinterpret_cast<void*>(base + 20));
    const bool strip = type == device::PrimitiveType::TriangleStrip;
    glDrawArrays(strip ? GL_TRIANGLE_STRIP : GL_TRIANGLES, static_cast<GLint>(startVertex),
                 static_cast<GLsizei>(strip ? primitiveCount + 2 : primitiveCount * 3));
    glBindVertexArray(0);
}

std::unique_ptr<device::Mesh> GlDevice::createMesh(const base::MeshData& data) {
    context_->makeCurrent();
    return std::make_unique<GlMesh>(data);
}

void GlDevice::drawSubset(device::Mesh& mesh, std::uint32_t attributeId) {
    auto* glMesh = dynamic_cast<GlMesh*>(&mesh);
    const GlMesh::Range* range = glMesh ? glMesh->range(attributeId) : nullptr;
    if (!range || range->count == 0) return;
    const bool lighting = renderStates_[device::RenderState::Lighting] != 0;
    // One directional light: the lowest enabled index.
    const device::Light* light = nullptr;
    if (lighting)
        for (const auto& [index, l] : lights_)
            if (lightEnabled_[index] && l.type == device::LightType::Directional) {
                light = &l;
                break;
            }
    const bool specular = light && renderStates_[device::RenderState::SpecularEnable] &&
                          !isBlack(material_.specular) && !isBlack(light->specular);
    const unsigned features = (light ? kLight : 0u) | (specular ? kSpecular : 0u) |
                              (dynamic_cast<GlTexture*>(texture_) ? kTexture : 0u);
    const unsigned p = program(features);
    if (!p) return;
    applyStageUniforms(p);
    const base::Matrix worldView = base::matrixMultiply(world_, view_);
    // Direct3D's depth runs 0..1 and OpenGL's -1..1: z' = 2z - w, folded into the matrix.
    base::Matrix depthRange = base::Matrix::identity();
    depthRange.m[2][2] = 2.0f;
    depthRange.m[3][2] = -1.0f;
    setMatrix(p, "worldViewProjection",
              base::matrixMultiply(base::matrixMultiply(worldView, projection_), depthRange));
    const base::ColourValue& md = material_.diffuse;
    if (!light) {
        // Unlit meshes are white; lit ones with no light show their emissive colour.
        const base::ColourValue& e = material_.emissive;
        if (lighting)
            glUniform4f(glGetUniformLocation(p, "constantDiffuse"), saturate(e.r), saturate(e.g), saturate(e.b),
                        saturate(md.a));
        else
            glUniform4f(glGetUniformLocation(p, "constantDiffuse"), 1.0f, 1.0f, 1.0f, 1.0f);
    } else {
        setMatrix(p, "worldView", worldView);
        // Directions are turned into camera space by the view's rotation; the shader wants the
        // way towards the light.
        const float* d = light->direction;
        float c[3];
        for (int j = 0; j < 3; ++j) c[j] = -(d[0] * view_.m[0][j] + d[1] * view_.m[1][j] + d[2] * view_.m[2][j]);
        const float length = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        if (length > 0.0f)
            for (float& v : c) v /= length;
        glUniform3f(glGetUniformLocation(p, "towardsLight"), c[0], c[1], c[2]);
        const base::ColourValue &ma = material_.ambient, &e = material_.emissive, &la = light->ambient,
                                &ld = light->diffuse;
        glUniform3f(glGetUniformLocation(p, "ambientColour"), e.r + ma.r * la.r, e.g + ma.g * la.g,
                    e.b + ma.b * la.b);
        glUniform3f(glGetUniformLocation(p, "diffuseProduct"), md.r * ld.r, md.g * ld.g, md.b * ld.b);
        glUniform1f(glGetUniformLocation(p, "diffuseAlpha"), saturate(md.a));
        if (specular) {
            const base::ColourValue &ms = material_.specular, &ls = light->specular;
            glUniform3f(glGetUniformLocation(p, "specularProduct"), ms.r * ls.r, ms.g * ls.g, ms.b * ls.b);
            glUniform1f(glGetUniformLocation(p, "materialPower"), material_.power);
        }
    }
    glBindVertexArray(glMesh->vao());
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(range->count), GL_UNSIGNED_INT,
                   reinterpret_cast<void*>(static_cast<std::uintptr_t>(range->first) * 4));
    glBindVertexArray(0);
}

std::unique_ptr<device::Texture> GlDevice::createTexture(const base::Image& image) {
    if (image.empty()) return nullptr;
    context_->makeCurrent();
    // Direct3D 9's sampler defaults: point filtering and wrap addressing.
    return std::make_unique<GlTexture>(image, TextureEdges::Wrap);
}

std::unique_ptr<device::TextFont> GlDevice::createTextFont(int height) {
    return std::make_unique<GlTextFont>(*this, *painter_, height);
}

void GlDevice::drawPicture(const GlTexture& texture, int x, int y, int w, int h) {
    const float x0 = static_cast<float>(x), y0 = static_cast<float>(y);
    const float x1 = x0 + static_cast<float>(w), y1 = y0 + static_cast<float>(h);
    const float corners[] = {x0, y0, 0, 0, x1, y0, 1, 0, x0, y1, 0, 1, x1, y1, 1, 1};
    // The font blends its glyphs whatever the device's blend state, and leaves that state alone.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    drawQuad(texture.id(), static_cast<float>(width_), static_cast<float>(height_), corners);
    glEnable(GL_DEPTH_TEST);
    applyBlend();
}

void GlDevice::drawQuad(unsigned texture, float width, float height, const float (&corners)[16]) {
    glUseProgram(textProgram_);
    glUniform2f(glGetUniformLocation(textProgram_, "viewport"), width, height);
    glUniform1i(glGetUniformLocation(textProgram_, "glyphs"), 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindVertexArray(textVao_);
    glBindBuffer(GL_ARRAY_BUFFER, textVbo_);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STREAM_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(0));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(8));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindVertexArray(0);
}

base::Image GlDevice::readBackBuffer() {
    base::Image image(width_, height_);
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < height_; ++y)
        std::memcpy(&image.pixels[static_cast<std::size_t>(y) * width_],
                    &rows[static_cast<std::size_t>(height_ - 1 - y) * width_],
                    static_cast<std::size_t>(width_) * 4);
    return image;
}

device::DeviceFactory deviceFactory(std::function<base::Result<std::unique_ptr<device::GlContext>>()> context,
                                    std::function<std::unique_ptr<device::TextPainter>()> painter) {
    return [context = std::move(context), painter = std::move(painter)](
               int width, int height) -> base::Result<std::unique_ptr<device::GraphicsDevice>> {
        auto made = context();
        if (!made) return made.failure();
        auto device = GlDevice::create(std::move(*made), painter(), width, height);
        if (!device) return device.failure();
        return std::unique_ptr<device::GraphicsDevice>(std::move(*device));
    };
}

}  // namespace backends::gl
