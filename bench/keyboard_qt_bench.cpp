// The key poll on the real X11 keyboard: one keymap query (a round trip to the X server) and
// the table lookups, once per displayed frame, so it must stay far below 0.2 ms.
// Needs an X server in DISPLAY (bench/run_all starts a private Xvfb); skips without one.
// Time is wall time: most of a poll is waiting for the server's reply, which CPU time misses.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "backends/x11/x11_keyboard.h"
#include "input/actions.h"
#include "input/poll_keyboard.h"

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>

namespace {

// Grabs and captures are measured elsewhere; here they cost nothing.
class NoActions final : public input::Actions {
public:
    void requestQuit(int) override {}
    void frameGrab() override {}
    void overlayCapture() override {}
    void undoLastSave() override {}
};

Display* display = nullptr;
std::string problem;

bool ready(benchmark::State& bench) {
    if (!display) {
        bench.SkipWithError(problem.c_str());
        return false;
    }
    return true;
}

// One poll as the idle pass runs it.
void pollX11Keyboard(benchmark::State& bench) {
    if (!ready(bench)) return;
    backends::x11::OwnWindowKeys ownKeys;
    backends::x11::X11Keyboard keyboard(display, ownKeys);
    app::AppState state;
    NoActions actions;
    for (auto _ : bench) {
        input::pollKeyboard(state.view, state.save, keyboard, actions);
        benchmark::DoNotOptimize(state);
    }
}
BENCHMARK(pollX11Keyboard)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The floor: the bare keymap query, the round trip the poll cannot avoid.
void rawXQueryKeymap(benchmark::State& bench) {
    if (!ready(bench)) return;
    std::array<char, 32> keys{};
    for (auto _ : bench) {
        XQueryKeymap(display, keys.data());
        benchmark::DoNotOptimize(keys);
    }
}
BENCHMARK(rawXQueryKeymap)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!std::getenv("DISPLAY"))
        problem = "DISPLAY is not set: this bench needs an X server (bench/run_all starts Xvfb)";
    else if (!(display = XOpenDisplay(nullptr)))
        problem = "cannot open the X display";
    if (!problem.empty()) std::fprintf(stderr, "keyboard_qt_bench: %s\n", problem.c_str());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (display) XCloseDisplay(display);
    return 0;
}
