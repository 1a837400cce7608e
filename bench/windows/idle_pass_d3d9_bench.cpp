// One idle pass of the real Windows program (app::App with the Win32 shell, keyboard and screen,
// the WIC decoder and the Direct3D 9 device) with the samples. The program draws only when the
// picture changes, so there are two passes: one that draws (the viewer invalidated before each,
// as an expose does) and one that does not. Anchors in the same run: the bare frame of the
// device (clear and present) and the 60 Hz period as the program's own pacing keeps it.
// The aim, as on Linux: the work of a pass well under a millisecond of CPU, so that 60 Hz
// leaves the machine idle.
// Needs a desktop (Wine on an X server: bench/run_windows starts Xvfb). The samples are copied
// into a fresh temporary folder, removed at the end.
#include <d3d9.h>
#include <objbase.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "app/app.h"
#include "app/app_state.h"
#include "backends/d3d9/d3d9_device.h"
#include "backends/win32/gdi_text_painter.h"
#include "backends/win32/wic_image_decoder.h"
#include "backends/win32/win32_keyboard.h"
#include "backends/win32/win32_screen.h"
#include "backends/win32/win32_shell.h"
#include "base/file_bytes.h"
#include "capture/numbered_file.h"
#include "input/actions.h"
#include "input/poll_keyboard.h"
#include "render/render_frame.h"
#include "timing.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kClearColour = 0xFF3CA3B9;
// A point of the viewer's client area that the model, overlay, texts and button leave alone.
constexpr int kProbeX = 585, kProbeY = 570;

// The samples' folder: given with --assets, else the source tree's. The build machine's path is
// a Unix one, which Wine shows under drive Z:.
fs::path assetsFolder(const std::string& given) {
    if (!given.empty()) return base::pathFromUtf8(given);
    std::string source = NUKITORI_SOURCE_DIR;
    if (!source.empty() && source[0] == '/') source = "Z:" + source;
    return base::pathFromUtf8(source) / "assets";
}

bool copyAssets(const fs::path& from, const fs::path& to, std::string& error) {
    for (const char* name : {"model.x", "フィルター.bmp", "フィルター画像.jpg", "枠.bmp"}) {
        std::error_code ec;
        fs::copy_file(from / base::pathFromUtf8(name), to / base::pathFromUtf8(name), ec);
        if (ec) {
            error =
                "cannot copy " + base::utf8FromPath(from / base::pathFromUtf8(name)) + ": " + ec.message();
            return false;
        }
    }
    return true;
}

// Which Direct3D 9 adapter did the work: Wine's on a software OpenGL and a GPU differ widely.
std::string adapterName() {
    IDirect3D9* direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!direct3D) return "unknown";
    D3DADAPTER_IDENTIFIER9 id{};
    std::string name = SUCCEEDED(direct3D->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &id))
                           ? std::string(id.Description) + " (driver " + id.Driver + ")"
                           : "unknown";
    direct3D->Release();
    return name;
}

// COM for this thread, as the program's main sets it up.
struct ComScope {
    ComScope() : ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (ok) CoUninitialize();
    }
    bool ok;
};

bool nearClear(std::uint32_t colour) {
    for (int shift : {0, 8, 16}) {
        const int d =
            static_cast<int>((colour >> shift) & 0xFF) - static_cast<int>((kClearColour >> shift) & 0xFF);
        if (d < -8 || d > 8) return false;
    }
    return true;
}

// The program as wWinMain builds it, minus the loop: the bench calls its parts.
struct Program {
    backends::win32::WicImageDecoder decoder;
    backends::win32::Win32Shell shell;
    backends::win32::Win32Keyboard keyboard;
    backends::win32::Win32Screen screen;
    app::App app{
        {shell, keyboard, screen, decoder,
         backends::d3d9::deviceFactory([this] { return shell.viewerWindow(); },
                                       [] { return std::make_unique<backends::win32::GdiTextPainter>(); },
                                       [this] { shell.repaintViewer(); })}};

    // Whether the viewer's probe point shows the clear colour on the screen, i.e. the frames
    // really reached it.
    bool clearColourOnScreen() {
        const base::Point origin = shell.viewerClientOrigin();
        const base::Result<base::Image> pixel = screen.read(origin.x + kProbeX, origin.y + kProbeY, 1, 1);
        return pixel && nearClear(pixel->at(0, 0));
    }
    // One pass of the program's loop, without the wait for the next period.
    void pass() {
        shell.processPendingEvents();
        app.idlePass();
    }
};

// For the key poll alone: what the keys would set off is measured elsewhere.
class NoActions final : public input::Actions {
public:
    void requestQuit(int) override {}
    void frameGrab() override {}
    void overlayCapture() override {}
    void undoLastSave() override {}
};

std::string onScreenCheck(Program& p) {
    return p.clearColourOnScreen() ? std::string{}
                                   : "the viewer does not show the clear colour on the screen";
}

void runPasses(Program& p, const bench::Options& options) {
    device::GraphicsDevice& device = *p.app.device();
    const std::unique_ptr<device::TextFont> font = device.createTextFont(14);  // the app's is private
    render::Scene scene{device, font.get(), p.app.currentModel(), p.app.currentOverlay()};
    const auto quitCheck = [&p] {
        return p.app.quitCode() ? std::string("the program asked to quit during the bench") : std::string{};
    };

    bench::Group group("idle pass of the program (Win32 shell, Direct3D 9 device, the samples)", options);
    group
        .add("clearPresent",
             [&] {
                 device.beginScene();
                 device.clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
                 device.endScene();
                 device.present();
             })
        .check = [&] { return onScreenCheck(p); };
    group
        .add("deviceFrame",
             [&] {
                 device.beginScene();
                 device.clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
                 render::renderFrame(p.app.state.view, p.app.state.save, scene);
                 device.endScene();
                 device.present();
             })
        .check = [&] { return onScreenCheck(p); };
    group
        .add("idlePass/draws",
             [&] {
                 p.app.onViewerExposed();
                 p.pass();
             })
        .check = [&] {
        const std::string quit = quitCheck();
        return quit.empty() ? onScreenCheck(p) : quit;
    };
    bench::Case& still = group.add("idlePass/still", [&] { p.pass(); });
    // The frames that follow a drawn one (the camera settles) are drawn before the timing.
    still.before = [&] {
        for (int i = 0; i < 4; ++i) p.pass();
    };
    still.check = quitCheck;
    // As the program's loop runs it: drain, pass, wait for the next 60 Hz period. Two seconds
    // a repetition, as its CPU is a few ticks of the process clock per second.
    bench::Case& paced = group.add("idlePass/paced", [&] {
        p.pass();
        p.shell.paceFrame();
    });
    paced.check = quitCheck;
    paced.minSeconds = 2;
    // The parts of a pass that draws nothing: the drain of the window messages, the key poll
    // with the real keyboard, and one bare key-state read, the unit of the poll's cost.
    group.add("drainEvents", [&] { p.shell.processPendingEvents(); });
    app::AppState pollState = p.app.state;
    NoActions noActions;
    group.add("keyPoll", [&] { input::pollKeyboard(pollState.view, pollState.save, p.keyboard, noActions); });
    group.add("getAsyncKeyState", [] { bench::keep(GetAsyncKeyState(VK_SPACE)); });
    group.run();
    using bench::Metric;
    group.ratio("idlePass/draws", {"clearPresent"}, Metric::Cpu, std::nullopt,
                "a drawn pass over the bare frame of the device");
    group.ratio("idlePass/draws", {"deviceFrame"}, Metric::Cpu, std::nullopt,
                "the pass's own work beside its frame");
    group.ratio("idlePass/still", {"idlePass/draws"}, Metric::Cpu, std::nullopt, "what not drawing saves");
    group.ratio("idlePass/still", {"drainEvents", "keyPoll"}, Metric::Wall, std::nullopt,
                "a still pass against its drain and key poll");
    group.ratio("keyPoll", {"getAsyncKeyState"}, Metric::Wall, std::nullopt,
                "the key poll in bare key-state reads");
    const double period = group.median("idlePass/paced", Metric::Wall);
    std::printf(
        "  the period as paced: %.2f ms wall per paced pass, %.1f passes a second (the program aims at 60)\n",
        period * 1e3, 1 / period);
    std::printf(
        "  share of the period: drawn pass %.1f%% CPU, still pass %.2f%% CPU, paced (idle load) %.2f%% CPU\n",
        100 * group.median("idlePass/draws", Metric::Cpu) / period,
        100 * group.median("idlePass/still", Metric::Cpu) / period,
        100 * group.median("idlePass/paced", Metric::Cpu) / period);
}

}  // namespace

int main(int argc, char** argv) {
    bench::Options options;
    std::string assets;
    // --assets FOLDER, then the timing options.
    if (argc >= 3 && std::strcmp(argv[1], "--assets") == 0) {
        assets = argv[2];
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    if (!bench::parseOptions(argc, argv, options)) return 2;
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const ComScope com;

    std::error_code ec;
    const fs::path folder =
        fs::temp_directory_path(ec) / ("nukitori-idle-bench-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder, ec);
    std::string problem;
    if (ec)
        problem = "cannot make " + folder.string() + ": " + ec.message();
    else if (copyAssets(assetsFolder(assets), folder, problem))
        fs::current_path(folder, ec);
    if (ec) problem = "cannot enter " + folder.string() + ": " + ec.message();

    int status = 1;
    if (problem.empty()) {
        std::printf("idle_pass_d3d9_bench: adapter %s\n", adapterName().c_str());
        std::fflush(stdout);
        auto program = std::make_unique<Program>();
        const auto started = program->app.startUp();
        if (!started) {
            problem = "start-up failed: " + started.error();
        } else if (!program->app.currentModel() || !program->app.currentModel()->hasMesh()) {
            problem = "model.x was not loaded";
        } else {
            // Paced passes until the first frame is on the screen (the text pictures and the
            // device's first uses are made on the way), then a few more.
            const double deadline = bench::wallSeconds() + 10;
            while (!program->clearColourOnScreen() && bench::wallSeconds() < deadline) {
                program->pass();
                program->shell.paceFrame();
            }
            if (!program->clearColourOnScreen()) problem = "the viewer never showed the clear colour";
            for (int i = 0; i < 30; ++i) {
                program->pass();
                program->shell.paceFrame();
            }
        }
        if (problem.empty()) {
            runPasses(*program, options);
            status = bench::Group::problems() ? 1 : 0;
        }
        program->app.shutdown();
        // The windows go with the process: destroying them one by one makes Wine without a
        // window manager wait seconds for each, as the program's main notes.
        static_cast<void>(program.release());
    }
    if (!problem.empty()) std::fprintf(stderr, "idle_pass_d3d9_bench: %s\n", problem.c_str());
    fs::current_path(fs::temp_directory_path(ec), ec);
    fs::remove_all(folder, ec);
    std::fflush(stdout);
    std::fflush(stderr);
    ExitProcess(static_cast<UINT>(status));
}
