// Grabs and captures on the real X server: the overlay capture and the frame grab should cost
// little more than reading their rectangle from the server (at most 1.5x a bare XGetImage of
// the same rectangle), and a frame grab with the model reload that follows it should fit in
// one 60 Hz frame (16 ms).
// Needs an X server in DISPLAY (bench/run_all starts a private Xvfb); skips without one.
// Times are wall time: much of a capture is waiting for the server's reply. The "vs_raw"
// counter is the capture's time over a bare XGetImage of the same rectangle, both measured in
// the same benchmark run, one right after the other.
// Everything runs in a fresh temporary folder holding copies of the assets, so the captures
// and the grab texture never land in the repository; it is removed at the end.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "../tests/unit/grid_model.h"
#include "app/app.h"
#include "app/app_state.h"
#include "backends/fake/fake_shell.h"
#include "backends/gl/gl_api.h"
#include "backends/gl/gl_device.h"
#include "backends/qt/qt_image_decoder.h"
#include "backends/qt/qt_shell.h"
#include "backends/qt/qt_text_painter.h"
#include "backends/x11/x11_keyboard.h"
#include "backends/x11/x11_screen.h"
#include "base/file_bytes.h"
#include "base/file_names.h"
#include "capture/bmp_snapshot.h"
#include "capture/frame_grab.h"
#include "capture/numbered_file.h"
#include "capture/overlay_capture.h"
#include "render/model_object.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

Display* display = nullptr;
std::string problem;  // why the benches skip; empty when ready
fs::path workFolder;

bool ready(benchmark::State& bench) {
    if (!problem.empty()) {
        bench.SkipWithError(problem.c_str());
        return false;
    }
    return true;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A bare read of the rectangle: the server round trip and the copy into Xlib's image, which
// any capture has to pay.
void rawRead(int x, int y, int width, int height) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    benchmark::DoNotOptimize(image);
    if (image) XDestroyImage(image);
}

// Seconds per bare read, over `count` reads.
double rawReadSeconds(int x, int y, int width, int height, std::int64_t count) {
    for (int i = 0; i < 3; ++i) rawRead(x, y, width, height);
    const Clock::time_point start = Clock::now();
    for (std::int64_t i = 0; i < count; ++i) rawRead(x, y, width, height);
    return secondsSince(start) / static_cast<double>(count);
}

void setRatio(benchmark::State& bench, double secondsPerCapture, int x, int y, int width, int height) {
    const std::int64_t count = std::max<std::int64_t>(20, std::min<std::int64_t>(bench.iterations(), 2000));
    const double raw = rawReadSeconds(x, y, width, height, count);
    bench.counters["raw_us"] = raw * 1e6;
    bench.counters["vs_raw"] = raw > 0 ? secondsPerCapture / raw : 0;
    bench.SetItemsProcessed(bench.iterations() * static_cast<std::int64_t>(width) * height);
}

void removeNumberedCaptures() {
    std::error_code ec;
    fs::remove_all(base::pathFromUtf8(base::kSaveFolder), ec);
}

// Arguments: the rectangle's width and height.
void readBareRectangle(benchmark::State& bench) {
    if (!ready(bench)) return;
    const int width = static_cast<int>(bench.range(0)), height = static_cast<int>(bench.range(1));
    for (auto _ : bench) rawRead(10, 20, width, height);
    bench.SetItemsProcessed(bench.iterations() * static_cast<std::int64_t>(width) * height);
}
BENCHMARK(readBareRectangle)
    ->Args({50, 50})
    ->Args({138, 111})
    ->Args({594, 578})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// For comparison only: the same read into a shared-memory image made once, which skips the
// copy through the socket and the fresh buffer of every plain read.
// A bare shared-memory read: the server's copy into a segment, nothing more. The floor under
// any read of the screen.
class SharedRead {
public:
    SharedRead(int width, int height) {
        const int screen = DefaultScreen(display);
        image_ = XShmCreateImage(display, DefaultVisual(display, screen),
                                 static_cast<unsigned>(DefaultDepth(display, screen)), ZPixmap, nullptr,
                                 &segment_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (!image_) return;
        segment_.shmid = shmget(
            IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * static_cast<std::size_t>(height),
            IPC_CREAT | 0600);
        if (segment_.shmid < 0) return;
        segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
        shmctl(segment_.shmid, IPC_RMID, nullptr);  // gone once both sides detach, even after a crash
        if (segment_.shmaddr == reinterpret_cast<char*>(-1)) return;
        segment_.readOnly = False;
        attached_ = XShmAttach(display, &segment_);
        XSync(display, False);
    }
    ~SharedRead() {
        if (attached_) XShmDetach(display, &segment_);
        XSync(display, False);
        if (image_) {
            image_->data = nullptr;
            XDestroyImage(image_);
        }
        if (segment_.shmaddr && segment_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment_.shmaddr);
    }
    bool ok() const { return attached_; }
    bool read(int x, int y) {
        return XShmGetImage(display, DefaultRootWindow(display), image_, x, y, AllPlanes);
    }
    // Seconds per read, over `count` reads.
    double seconds(int x, int y, std::int64_t count) {
        for (int i = 0; i < 3; ++i) read(x, y);
        const Clock::time_point start = Clock::now();
        for (std::int64_t i = 0; i < count; ++i) read(x, y);
        return secondsSince(start) / static_cast<double>(count);
    }

private:
    XShmSegmentInfo segment_{};
    XImage* image_ = nullptr;
    bool attached_ = false;
};

// The bare write of `bytes` to a new file in the save folder, as plain as a file gets: open,
// write, close. Seconds per file, over `count` files.
double bareWriteSeconds(const std::vector<std::uint8_t>& bytes, std::int64_t count) {
    std::error_code ec;
    fs::create_directories(base::pathFromUtf8(base::kSaveFolder), ec);
    const fs::path folder = base::pathFromUtf8(base::kSaveFolder);
    const Clock::time_point start = Clock::now();
    for (std::int64_t i = 0; i < count; ++i) {
        std::FILE* file = std::fopen((folder / ("bare" + std::to_string(i) + ".bmp")).c_str(), "wb");
        if (!file) return 0;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    const double seconds = secondsSince(start) / static_cast<double>(count);
    removeNumberedCaptures();
    return seconds;
}

void readBareRectangleShared(benchmark::State& bench) {
    if (!ready(bench)) return;
    const int width = static_cast<int>(bench.range(0)), height = static_cast<int>(bench.range(1));
    SharedRead shared(width, height);
    if (!XShmQueryExtension(display) || !shared.ok()) {
        bench.SkipWithError("the X server has no MIT-SHM");
        return;
    }
    for (auto _ : bench) {
        if (!shared.read(10, 20)) {
            bench.SkipWithError("XShmGetImage failed");
            break;
        }
    }
    bench.SetItemsProcessed(bench.iterations() * static_cast<std::int64_t>(width) * height);
}
BENCHMARK(readBareRectangleShared)
    ->Args({50, 50})
    ->Args({138, 111})
    ->Args({594, 578})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// The screen read alone: the bare read plus the conversion into our picture.
// "vs_shm": its time over a bare shared-memory read of the same rectangle in the same run.
void x11ScreenRead(benchmark::State& bench) {
    if (!ready(bench)) return;
    backends::x11::X11Screen screen(display);
    const int width = static_cast<int>(bench.range(0)), height = static_cast<int>(bench.range(1));
    const Clock::time_point start = Clock::now();
    for (auto _ : bench) benchmark::DoNotOptimize(screen.read(10, 20, width, height));
    const double perRead = secondsSince(start) / static_cast<double>(bench.iterations());
    bench.SetItemsProcessed(bench.iterations() * static_cast<std::int64_t>(width) * height);
    SharedRead shared(width, height);
    if (!shared.ok()) return;
    const double raw =
        shared.seconds(10, 20, std::max<std::int64_t>(20, std::min<std::int64_t>(bench.iterations(), 2000)));
    bench.counters["shm_us"] = raw * 1e6;
    bench.counters["vs_shm"] = perRead / raw;
}
BENCHMARK(x11ScreenRead)
    ->Args({50, 50})
    ->Args({138, 111})
    ->Args({594, 578})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// Arguments: the overlay's width and height. Each capture writes a new numbered file, as the
// capture button does; the files are deleted every 64 captures outside the timing.
void overlayCapture(benchmark::State& bench) {
    if (!ready(bench)) return;
    backends::x11::X11Screen screen(display);
    backends::fake::FakeShell shell;
    shell.clientOrigin = {4, 20};
    app::AppState state;
    state.view.overlayX = 6;
    state.view.overlayY = 0;
    state.view.overlayWidth = static_cast<std::uint16_t>(bench.range(0));
    state.view.overlayHeight = static_cast<std::uint16_t>(bench.range(1));
    shell.editText = "bench";
    removeNumberedCaptures();
    double paused = 0;
    std::int64_t sinceCleanUp = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : bench) {
        capture::overlayCapture(state.view, state.save, shell, screen);
        ++state.save.saveCounter;  // as after the capture button
        if (++sinceCleanUp == 64) {
            bench.PauseTiming();
            const Clock::time_point cleanUp = Clock::now();
            removeNumberedCaptures();
            state.save.saveCounter = 0;
            sinceCleanUp = 0;
            paused += secondsSince(cleanUp);
            bench.ResumeTiming();
        }
    }
    const double perCapture = (secondsSince(start) - paused) / static_cast<double>(bench.iterations());
    if (state.save.lastSaveFailed) bench.SkipWithError("the last capture was not saved");
    removeNumberedCaptures();
    setRatio(bench, perCapture, 10, 20, state.view.overlayWidth, state.view.overlayHeight);
    // The floor of any capture in the same run: a bare shared-memory read of the rectangle and
    // a bare write of the same file's bytes.
    const std::int64_t count = std::max<std::int64_t>(20, std::min<std::int64_t>(bench.iterations(), 500));
    const double write = bareWriteSeconds(
        capture::encodeBmpSnapshot(base::Image(state.view.overlayWidth, state.view.overlayHeight)), count);
    bench.counters["write_us"] = write * 1e6;
    bench.counters["vs_write"] = perCapture / write;
    SharedRead shared(state.view.overlayWidth, state.view.overlayHeight);
    if (!shared.ok()) return;
    const double read = shared.seconds(10, 20, count);
    bench.counters["shm_us"] = read * 1e6;
    bench.counters["vs_shm_and_write"] = perCapture / (read + write);
}
BENCHMARK(overlayCapture)->Args({50, 50})->Args({594, 578})->UseRealTime()->Unit(benchmark::kMicrosecond);

// The grab of the default 177 x 152 frame: its 138 x 111 hole goes to the grab texture file,
// rewritten in place on every grab (numberedSave 0). The model reload is not included.
void frameGrab(benchmark::State& bench) {
    if (!ready(bench)) return;
    backends::x11::X11Screen screen(display);
    backends::fake::FakeShell shell;
    shell.frameRect = base::Rect{10 - 35, 20 - 37, 10 - 35 + 177, 20 - 37 + 152};  // hole at (10, 20)
    app::AppState state;
    const Clock::time_point start = Clock::now();
    for (auto _ : bench) {
        state.save.numberedSave = 0;
        capture::frameGrab(state.save, shell, screen);
    }
    const double perGrab = secondsSince(start) / static_cast<double>(bench.iterations());
    std::error_code ec;
    if (fs::file_size(base::pathFromUtf8(base::kGrabTextureFile), ec) != 54 + 111 * 416)
        bench.SkipWithError("the grab texture file was not written at 138 x 111");
    setRatio(bench, perGrab, 10, 20, 138, 111);
}
BENCHMARK(frameGrab)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The program with the Qt backend, started up once in the temporary folder, for the grab as
// the program runs it: the grab, then the model reload from model.x and its texture (which
// is the grab texture file just written).
struct Program {
    std::unique_ptr<QApplication> application;
    backends::x11::OwnWindowKeys ownKeys;
    std::unique_ptr<backends::qt::QtShell> shell;
    std::unique_ptr<backends::x11::X11Keyboard> keyboard;
    std::unique_ptr<backends::x11::X11Screen> screen;
    std::unique_ptr<backends::qt::QtImageDecoder> decoder;
    std::unique_ptr<app::App> app;
    std::string problem;

    backends::gl::GlDevice& device() { return static_cast<backends::gl::GlDevice&>(*app->device()); }
};

int fakeArgc = 1;
char fakeName[] = "capture_qt_bench";
char* fakeArgv[] = {fakeName, nullptr};

std::unique_ptr<Program> started;

// Started on first use, so that the benches above run without any window.
Program& program() {
    if (!started) {
        started = std::make_unique<Program>();
        Program& s = *started;
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
        s.application = std::make_unique<QApplication>(fakeArgc, fakeArgv);
        QApplication::setQuitOnLastWindowClosed(false);
        s.shell = std::make_unique<backends::qt::QtShell>(display, s.ownKeys);
        s.keyboard = std::make_unique<backends::x11::X11Keyboard>(display, s.ownKeys);
        s.screen = std::make_unique<backends::x11::X11Screen>(display);
        s.decoder = std::make_unique<backends::qt::QtImageDecoder>();
        s.app = std::make_unique<app::App>(app::Platform{
            *s.shell, *s.keyboard, *s.screen, *s.decoder,
            backends::gl::deviceFactory([&s] { return s.shell->createViewerContext(); },
                                        [] { return std::make_unique<backends::qt::QtTextPainter>(); })});
        const auto started = s.app->startUp();
        if (!started) {
            s.problem = "start-up failed: " + started.error();
            return s;
        }
        QElapsedTimer waited;
        waited.start();
        while (!s.shell->frameWindowRect() && waited.elapsed() < 10000) s.shell->processPendingEvents();
        for (int i = 0; i < 10; ++i) {
            s.shell->processPendingEvents();
            s.app->idlePass();
        }
        const std::optional<base::Rect> frame = s.shell->frameWindowRect();
        if (!frame)
            s.problem = "the capture frame has no rectangle";
        else if (!s.app->currentModel() || !s.app->currentModel()->hasMesh())
            s.problem = "model.x was not loaded";
        else {
            const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
            std::fprintf(stderr, "capture_qt_bench: OpenGL renderer %s\n", renderer ? renderer : "unknown");
        }
    }
    return *started;
}

bool programReady(benchmark::State& bench) {
    if (!ready(bench)) return false;
    Program& p = program();
    if (!p.problem.empty()) {
        bench.SkipWithError(p.problem.c_str());
        return false;
    }
    return true;
}

// App::frameGrab as a drag, resize or drop runs it, finished on the GPU side as well
// (glFinish), so uploads the driver defers are counted here and not in the next frame.
void appFrameGrabWithModelReload(benchmark::State& bench) {
    if (!programReady(bench)) return;
    Program& p = program();
    for (auto _ : bench) {
        p.app->state.save.numberedSave = 0;
        p.app->frameGrab();
        glFinish();
    }
    if (!p.app->currentModel() || !p.app->currentModel()->hasMesh())
        bench.SkipWithError("the model was lost in a reload");
    const base::Rect frame = *p.shell->frameWindowRect();
    bench.counters["hole_w"] = frame.right - frame.left - 39;
    bench.counters["hole_h"] = frame.bottom - frame.top - 41;
}
BENCHMARK(appFrameGrabWithModelReload)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

// Keypad + held with a 1,000,000-triangle model: a numbered grab and the reload after it, once
// a frame. The grab texture changes every time; the model file does not, so its mesh is kept.
// The anchor in the same run: the same grabs with the model read again every time, as a drop
// does. Memory must stay flat: "rss_growth_MB" is the resident size after the grabs less before.
long residentKb() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long kb = 0;
    char line[256];
    while (status && std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    if (status) std::fclose(status);
    return kb;
}

void appNumberedGrabWithBigModel(benchmark::State& bench, bool readAgain) {
    if (!programReady(bench)) return;
    Program& p = program();
    {
        const std::vector<std::uint8_t> big = gridXFileBinary(708);
        std::ofstream("big.x", std::ios::binary)
            .write(reinterpret_cast<const char*>(big.data()), static_cast<std::streamsize>(big.size()));
    }
    p.app->onFileDropped("big.x");
    glFinish();
    const long before = residentKb();
    for (auto _ : bench) {
        if (readAgain) p.app->onFileDropped("big.x");
        p.app->state.save.numberedSave = 1;
        p.app->frameGrab();
        glFinish();
    }
    bench.counters["grabs_per_s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
    bench.counters["rss_growth_MB"] = static_cast<double>(residentKb() - before) / 1024.0;
    if (!p.app->currentModel() || !p.app->currentModel()->hasMesh())
        bench.SkipWithError("big.x was not loaded");
    p.app->onFileDropped("model.x");
    removeNumberedCaptures();
}
BENCHMARK_CAPTURE(appNumberedGrabWithBigModel, kept, false)
    ->MinTime(4.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(appNumberedGrabWithBigModel, read_again, true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Its two parts: the grab through the program's own windows, and the model reload alone.
void appGrabOnly(benchmark::State& bench) {
    if (!programReady(bench)) return;
    Program& p = program();
    for (auto _ : bench) {
        p.app->state.save.numberedSave = 0;
        capture::frameGrab(p.app->state.save, *p.shell, *p.screen);
    }
}
BENCHMARK(appGrabOnly)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

void modelReloadOnly(benchmark::State& bench) {
    if (!programReady(bench)) return;
    Program& p = program();
    for (auto _ : bench) {
        render::ModelObject model(p.app->state.modelPath, *p.app->device(), *p.decoder);
        glFinish();
        benchmark::DoNotOptimize(model.hasMesh());
    }
}
BENCHMARK(modelReloadOnly)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

// The assets the program reads at start-up and on every grab.
bool copyAssets(const fs::path& to, std::string& error) {
    const fs::path assets = fs::path(NUKITORI_SOURCE_DIR) / "assets";
    for (const char* name : {"model.x", "フィルター.bmp", "フィルター画像.jpg", "枠.bmp"}) {
        std::error_code ec;
        fs::copy_file(assets / base::pathFromUtf8(name), to / base::pathFromUtf8(name), ec);
        if (ec) {
            error = std::string("cannot copy assets/") + name + ": " + ec.message();
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string folder = (fs::temp_directory_path() / "capture_qt_bench.XXXXXX").string();
    if (!std::getenv("DISPLAY"))
        problem = "DISPLAY is not set: this bench needs an X server (bench/run_all starts Xvfb)";
    else if (!(display = XOpenDisplay(nullptr)))
        problem = "cannot open the X display";
    else if (!mkdtemp(folder.data()))
        problem = "cannot make a temporary folder";
    else {
        workFolder = folder;
        std::error_code ec;
        if (copyAssets(workFolder, problem)) fs::current_path(workFolder, ec);
        if (ec) problem = "cannot enter the temporary folder: " + ec.message();
    }
    if (!problem.empty()) std::fprintf(stderr, "capture_qt_bench: %s\n", problem.c_str());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (started) {
        if (started->app) started->app->shutdown();
        started.reset();
    }
    if (!workFolder.empty()) {
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(workFolder, ec);
    }
    return 0;
}
