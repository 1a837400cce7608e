// One frame of a model of about 1,000,000 triangles through the viewer's OpenGL device, against
// the renderer's own limit: the same triangles from one vertex buffer with a minimal shader, in
// the same context (surfaceless EGL, Mesa's software renderer). Target: frame_vs_anchor at most
// 1.3. Both draw into the device's frame buffer and wait for the renderer to finish.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "backends/egl/egl_context.h"
#include "backends/gl/gl_api.h"
#include "backends/gl/gl_device.h"
#include "backends/qt/qt_text_painter.h"
#include "base/mesh_data.h"
#include "render/render_frame.h"

namespace {

constexpr int kSide = 708;  // quads per side: 2 x 708 x 708 = 1,002,528 triangles
constexpr std::uint32_t kClearColour = 0xFF3CA3B9;

// A grid facing the camera where the shipped model stands, front faces clockwise.
base::MeshData grid() {
    base::MeshData mesh;
    mesh.hasNormals = true;
    mesh.hasTextureCoords = true;
    for (int row = 0; row <= kSide; ++row) {
        for (int column = 0; column <= kSide; ++column) {
            base::MeshVertex v{};
            v.x = -1.0f + 2.0f * static_cast<float>(column) / kSide;
            v.y = 3.6f - 2.0f * static_cast<float>(row) / kSide;
            v.z = 0.0f;
            v.nz = -1.0f;
            v.u = static_cast<float>(column) / kSide;
            v.v = static_cast<float>(row) / kSide;
            mesh.vertices.push_back(v);
        }
    }
    for (int row = 0; row < kSide; ++row) {
        for (int column = 0; column < kSide; ++column) {
            const std::uint32_t a = row * (kSide + 1) + column, b = a + 1, c = a + kSide + 1, d = c + 1;
            mesh.indices.insert(mesh.indices.end(), {a, b, c, b, d, c});
            mesh.attributes.insert(mesh.attributes.end(), {0, 0});
        }
    }
    base::MeshMaterial material;
    material.material.diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    material.material.ambient = material.material.diffuse;
    mesh.materials.push_back(material);
    return mesh;
}

GLuint compile(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

class Scene {
public:
    Scene() {
        auto context = backends::egl::EglContext::create(state::kBackBufferWidth, state::kBackBufferHeight);
        if (!context) return;
        egl_ = context->get();
        auto device = backends::gl::GlDevice::create(std::move(*context),
                                                     std::make_unique<backends::qt::QtTextPainter>(),
                                                     state::kBackBufferWidth, state::kBackBufferHeight);
        if (!device) return;
        device_ = std::move(*device);
        const base::MeshData data = grid();
        mesh_ = device_->createMesh(data);
        material_ = data.materials[0].material;
        camera_ = render::cameraOf(view_);
        // The anchor's own buffers: positions only, the same indices.
        std::vector<float> positions;
        for (const base::MeshVertex& v : data.vertices) positions.insert(positions.end(), {v.x, v.y, v.z});
        indexCount_ = static_cast<GLsizei>(data.indices.size());
        glGenVertexArrays(1, &vao_);
        glBindVertexArray(vao_);
        glGenBuffers(1, &vbo_);
        glBindBuffer(GL_ARRAY_BUFFER, vbo_);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(positions.size() * sizeof(float)), positions.data(),
                     GL_STATIC_DRAW);
        glGenBuffers(1, &ibo_);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo_);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.indices.size() * sizeof(std::uint32_t)),
                     data.indices.data(), GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
        glBindVertexArray(0);
        program_ = glCreateProgram();
        glAttachShader(program_, compile(GL_VERTEX_SHADER, "#version 330 core\n"
                                                           "layout(location = 0) in vec3 p;\n"
                                                           "uniform mat4 m;\n"
                                                           "void main() { gl_Position = m * vec4(p, 1.0); }\n"));
        glAttachShader(program_, compile(GL_FRAGMENT_SHADER, "#version 330 core\n"
                                                             "out vec4 colour;\n"
                                                             "void main() { colour = vec4(1.0); }\n"));
        glLinkProgram(program_);
    }
    bool ready() const { return device_ && mesh_; }

    // The viewer's way: the light, the matrices and the material through the device.
    void frame() {
        device_->beginScene();
        device_->clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
        render::setLight(view_, *device_);
        device_->setTransform(device::TransformState::View, camera_.view);
        device_->setTransform(device::TransformState::Projection, camera_.projection);
        device_->setTransform(device::TransformState::World, base::Matrix::identity());
        device_->setMaterial(material_);
        device_->setTexture(0, nullptr);
        device_->drawSubset(*mesh_, 0);
        device_->endScene();
        glFinish();
    }

    // The same triangles, bare: into the device's frame buffer, depth tested, no culling needed
    // (they all face the camera).
    void anchor() {
        device_->beginScene();
        device_->clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
        glUseProgram(program_);
        // The matrices are for row vectors; read as columns they are the same transform.
        const base::Matrix mvp = base::matrixMultiply(camera_.view, camera_.projection);
        glUniformMatrix4fv(glGetUniformLocation(program_, "m"), 1, GL_FALSE, &mvp.m[0][0]);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        glBindVertexArray(vao_);
        glDrawElements(GL_TRIANGLES, indexCount_, GL_UNSIGNED_INT, nullptr);
        glBindVertexArray(0);
        glEnable(GL_CULL_FACE);
        glFinish();
    }

    // The share of the frame the drawn triangles cover: both ways must draw the grid.
    double covered() {
        device_->present();
        const base::Image shown = egl_->readPresented();
        // The top-left corner shows the clear colour (as the 5-6-5 buffer holds it).
        std::size_t other = 0;
        for (const std::uint32_t p : shown.pixels) other += (p & 0xFFFFFF) != (shown.pixels[0] & 0xFFFFFF);
        return static_cast<double>(other) / static_cast<double>(shown.pixels.size());
    }

private:
    state::ViewState view_;
    render::Camera camera_;
    base::Material material_;
    backends::egl::EglContext* egl_ = nullptr;
    std::unique_ptr<backends::gl::GlDevice> device_;
    std::unique_ptr<device::Mesh> mesh_;
    GLuint vao_ = 0, vbo_ = 0, ibo_ = 0, program_ = 0;
    GLsizei indexCount_ = 0;
};

void millionTriangleFrame(benchmark::State& state) {
    static Scene scene;
    if (!scene.ready()) {
        state.SkipWithError("no headless OpenGL context");
        return;
    }
    scene.frame();
    const double frameCovers = scene.covered();
    scene.anchor();
    const double anchorCovers = scene.covered();
    double frameSeconds = 0, anchorSeconds = 0;
    for (auto _ : state) {
        // Alternating, so that a slower minute of this machine weighs on both alike.
        auto start = std::chrono::steady_clock::now();
        scene.frame();
        frameSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        start = std::chrono::steady_clock::now();
        scene.anchor();
        anchorSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["frame_ms"] = 1000.0 * frameSeconds / runs;
    state.counters["anchor_ms"] = 1000.0 * anchorSeconds / runs;
    state.counters["frame_vs_anchor"] = frameSeconds / anchorSeconds;
    state.counters["frame_covers"] = frameCovers;
    state.counters["anchor_covers"] = anchorCovers;
}
BENCHMARK(millionTriangleFrame)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
