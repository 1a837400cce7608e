// One idle pass on the real backend (Qt windows, OpenGL device, X11 keyboard) with the samples:
// the work of a pass must stay under 1 ms of CPU so that 60 Hz leaves the machine idle.
// Needs an X server in DISPLAY (bench/run_all starts a private Xvfb); skips without one.
// "Time" is wall time; with MeasureProcessCPUTime "CPU" counts every thread of the process,
// so the rasteriser threads of a software OpenGL are included. The X server's own work (the
// picture sent at present) is not in either figure.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app.h"
#include "backends/gl/gl_api.h"
#include "backends/gl/gl_device.h"
#include "backends/qt/qt_image_decoder.h"
#include "backends/qt/qt_shell.h"
#include "backends/qt/qt_text_painter.h"
#include "backends/qt/viewer_window.h"
#include "backends/x11/x11_keyboard.h"
#include "backends/x11/x11_screen.h"
#include "render/render_frame.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>

namespace {

constexpr std::uint32_t kClearColour = 0xFF3CA3B9;

// The program's shell with the wait for the next 60 Hz period switched off, so that a timed
// pass is only the pass's own work.
class UnpacedShell final : public platform::Shell {
public:
    explicit UnpacedShell(backends::qt::QtShell& inner) : inner_(inner) {}
    bool pace = false;

    void createViewer(platform::WindowEvents& events) override { inner_.createViewer(events); }
    platform::OutlineShape createFrame(platform::WindowEvents& events, const base::Image& outline) override {
        return inner_.createFrame(events, outline);
    }
    void showCursor() override { inner_.showCursor(); }
    void paceFrame() override {
        if (pace) inner_.paceFrame();
    }
    void processPendingEvents() override { inner_.processPendingEvents(); }
    std::optional<base::Rect> frameWindowRect() override { return inner_.frameWindowRect(); }
    std::optional<std::string> frameEditText() override { return inner_.frameEditText(); }
    base::Point viewerClientOrigin() override { return inner_.viewerClientOrigin(); }

private:
    backends::qt::QtShell& inner_;
};

// The program as main() builds it, started up once for all benchmarks.
struct Program {
    Display* display = nullptr;
    std::unique_ptr<QApplication> application;
    backends::x11::OwnWindowKeys ownKeys;
    std::unique_ptr<backends::qt::QtShell> qtShell;
    std::unique_ptr<UnpacedShell> shell;
    std::unique_ptr<backends::x11::X11Keyboard> keyboard;
    std::unique_ptr<backends::x11::X11Screen> screen;
    std::unique_ptr<backends::qt::QtImageDecoder> decoder;
    std::unique_ptr<app::App> app;
    std::unique_ptr<device::TextFont> font;  // the benches' own, as the app's is private
    std::string problem;                     // why the benches skip; empty when ready

    backends::gl::GlDevice* device() { return static_cast<backends::gl::GlDevice*>(app->device()); }
};

Program* program = nullptr;

int fakeArgc = 1;
char fakeName[] = "gl_idle_pass_bench";
char* fakeArgv[] = {fakeName, nullptr};

bool viewerExposed() {
    for (QWindow* window : QGuiApplication::allWindows())
        if (dynamic_cast<backends::qt::GlSurface*>(window) && window->isExposed()) return true;
    return false;
}

void startProgram(Program& p) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    if (!std::getenv("DISPLAY")) {
        p.problem = "DISPLAY is not set: these benches need an X server (bench/run_all starts Xvfb)";
        return;
    }
    p.display = XOpenDisplay(nullptr);
    if (!p.display) {
        p.problem = "cannot open the X display";
        return;
    }
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::path(NUKITORI_SOURCE_DIR) / "assets", ec);
    if (ec) {
        p.problem = "cannot enter the assets folder: " + ec.message();
        return;
    }
    p.application = std::make_unique<QApplication>(fakeArgc, fakeArgv);
    QApplication::setQuitOnLastWindowClosed(false);
    p.qtShell = std::make_unique<backends::qt::QtShell>(p.display, p.ownKeys);
    p.shell = std::make_unique<UnpacedShell>(*p.qtShell);
    p.keyboard = std::make_unique<backends::x11::X11Keyboard>(p.display, p.ownKeys);
    p.screen = std::make_unique<backends::x11::X11Screen>(p.display);
    p.decoder = std::make_unique<backends::qt::QtImageDecoder>();
    p.app = std::make_unique<app::App>(app::Platform{
        *p.shell, *p.keyboard, *p.screen, *p.decoder,
        backends::gl::deviceFactory([&p] { return p.qtShell->createViewerContext(); },
                                    [] { return std::make_unique<backends::qt::QtTextPainter>(); })});
    const auto started = p.app->startUp();
    if (!started) {
        p.problem = "start-up failed: " + started.error();
        return;
    }
    if (!p.app->currentModel() || !p.app->currentModel()->hasMesh()) {
        p.problem = "assets/model.x was not loaded";
        return;
    }
    // Present draws nothing until the viewer is on the screen.
    QElapsedTimer waited;
    waited.start();
    while (!viewerExposed() && waited.elapsed() < 10000) p.shell->processPendingEvents();
    if (!viewerExposed()) {
        p.problem = "the viewer was never exposed";
        return;
    }
    p.font = p.device()->createTextFont(14);
    // Which OpenGL did the work: a software rasteriser and a GPU give very different figures.
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    benchmark::AddCustomContext("gl_renderer", renderer ? renderer : "unknown");
    // A few passes first: the text pictures and the shader variants are made on first use.
    for (int i = 0; i < 10; ++i) {
        p.shell->processPendingEvents();
        p.app->idlePass();
    }
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

bool ready(benchmark::State& bench) {
    if (!program || !program->problem.empty()) {
        bench.SkipWithError(program ? program->problem.c_str() : "not started");
        return false;
    }
    return true;
}

// 1 when the viewer's bottom-right corner shows the clear colour on the X server, i.e. the
// timed frames really reached the screen.
double clearColourOnScreen(Program& p) {
    const base::Point origin = p.shell->viewerClientOrigin();
    const base::Result<base::Image> pixel = p.screen->read(origin.x + 585, origin.y + 570, 1, 1);
    if (!pixel) return 0;
    const std::uint32_t c = pixel->at(0, 0);
    auto near = [](std::uint32_t a, std::uint32_t b) {
        const int d = static_cast<int>(a & 0xFF) - static_cast<int>(b & 0xFF);
        return d >= -8 && d <= 8;
    };
    return near(c >> 16, kClearColour >> 16) && near(c >> 8, kClearColour >> 8) && near(c, kClearColour) ? 1
                                                                                                         : 0;
}

// What the main loop does once per frame: drain the window events, then the idle pass
// (key poll, scene, present), without the wait for the next period.
void glIdlePass(benchmark::State& bench) {
    if (!ready(bench)) return;
    Program& p = *program;
    p.shell->pace = false;
    for (auto _ : bench) {
        p.shell->processPendingEvents();
        p.app->idlePass();
    }
    if (p.app->quitCode()) bench.SkipWithError("the program asked to quit during the bench");
    bench.counters["on_screen"] = clearColourOnScreen(p);
}
BENCHMARK(glIdlePass)->Name("glIdlePass/threadCPU")->Unit(benchmark::kMicrosecond);
BENCHMARK(glIdlePass)
    ->Name("glIdlePass/processCPU")
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// The device's part only: scene bracket, clear, the frame, present.
void glDeviceFrame(benchmark::State& bench) {
    if (!ready(bench)) return;
    Program& p = *program;
    device::GraphicsDevice& device = *p.app->device();
    render::Scene scene{device, p.font.get(), p.app->currentModel(), p.app->currentOverlay()};
    for (auto _ : bench) {
        device.beginScene();
        device.clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
        render::renderFrame(p.app->state.view, p.app->state.save, scene);
        device.endScene();
        device.present();
    }
    bench.counters["on_screen"] = clearColourOnScreen(p);
}
BENCHMARK(glDeviceFrame)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMicrosecond);

// The frame rendered to completion but not presented: the split between drawing and the
// copy to the window (swap) that present adds.
void glFrameWithoutPresent(benchmark::State& bench) {
    if (!ready(bench)) return;
    Program& p = *program;
    backends::gl::GlDevice& device = *p.device();
    render::Scene scene{device, p.font.get(), p.app->currentModel(), p.app->currentOverlay()};
    for (auto _ : bench) {
        device.beginScene();
        device.clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
        render::renderFrame(p.app->state.view, p.app->state.save, scene);
        device.endScene();
        glFinish();
    }
}
BENCHMARK(glFrameWithoutPresent)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMicrosecond);

// The floor under any frame: only the clear, finished; then the clear and present.
void glClearOnly(benchmark::State& bench, bool withPresent) {
    if (!ready(bench)) return;
    backends::gl::GlDevice& device = *program->device();
    for (auto _ : bench) {
        device.beginScene();
        device.clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
        device.endScene();
        if (withPresent)
            device.present();
        else
            glFinish();
    }
}
BENCHMARK_CAPTURE(glClearOnly, finished, false)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(glClearOnly, presented, true)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// The paced pass as the program runs it: wall time should be one 60 Hz period and the CPU a
// small share of it (CPU / Time is the idle load).
void glPacedIdlePass(benchmark::State& bench) {
    if (!ready(bench)) return;
    Program& p = *program;
    p.shell->pace = true;
    const double cpuBefore = processCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    for (auto _ : bench) {
        p.shell->processPendingEvents();
        p.app->idlePass();
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double cpu = processCpuSeconds() - cpuBefore;
    p.shell->pace = false;
    // The share of one core the running program takes while idle.
    bench.counters["cpu_share"] = wall > 0 ? cpu / wall : 0;
}
BENCHMARK(glPacedIdlePass)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Program p;
    startProgram(p);
    if (!p.problem.empty()) std::fprintf(stderr, "gl_idle_pass_bench: %s\n", p.problem.c_str());
    program = &p;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    program = nullptr;
    if (p.app) p.app->shutdown();
    return 0;
}
