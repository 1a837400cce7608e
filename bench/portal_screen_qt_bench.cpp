// Screen reads through the desktop portal, as on Wayland desktops. Needs a session whose portal
// answers (bench/wayland_portal.py runs it as a user of the Wayland test rig); skips elsewhere.
//   portalRead/594/578: a viewer-sized read while the stream runs (or, where the desktop only
//     takes screenshots, a screenshot each read); "vs_frame_copy" is its time over one copy of a
//     whole frame of the screen, the work the stream already does for every frame it sends,
//     measured in the same run.
//   sessionStart: the first read, which opens the session and waits for the first frame;
//     "vs_round_trip" is its time over one call to the portal, measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "backends/qt/qt_image_decoder.h"
#include "backends/wayland/portal_bus.h"
#include "backends/wayland/portal_screen.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Desktop {
    int width = 0, height = 0;
    std::string problem;
};

const Desktop& desktop() {
    static const Desktop found = [] {
        Desktop d;
        Display* display = XOpenDisplay(nullptr);
        if (!display) {
            d.problem = "no X display";
            return d;
        }
        d.width = DisplayWidth(display, DefaultScreen(display));
        d.height = DisplayHeight(display, DefaultScreen(display));
        XCloseDisplay(display);
        if (!std::getenv("NUKITORI_BENCH_PORTAL"))
            d.problem = "not in a portal session (bench/wayland_portal.py)";
        return d;
    }();
    return found;
}

std::string configFolder() {
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.config/nukitori";
}

std::string picturesFolder() {
    const char* home = std::getenv("HOME");
    return home ? std::string(home) + "/Pictures" : std::string();
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Seconds for one copy of a whole frame of the screen.
double frameCopySeconds() {
    const std::size_t bytes = static_cast<std::size_t>(desktop().width) * desktop().height * 4;
    std::vector<std::uint8_t> from(bytes, 0x5A), to(bytes);
    constexpr int kCopies = 50;
    const auto start = Clock::now();
    for (int i = 0; i < kCopies; ++i) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    return seconds(Clock::now() - start) / kCopies;
}

void portalRead(benchmark::State& bench) {
    if (!desktop().problem.empty()) return bench.SkipWithError(desktop().problem.c_str());
    const int width = static_cast<int>(bench.range(0)), height = static_cast<int>(bench.range(1));
    backends::qt::QtImageDecoder decoder;
    backends::wayland::PortalScreen screen(decoder, desktop().width, desktop().height, configFolder(),
                                           picturesFolder());
    if (auto first = screen.read(10, 20, width, height); !first)
        return bench.SkipWithError(first.error().c_str());
    const auto start = Clock::now();
    for (auto _ : bench) {
        auto read = screen.read(10, 20, width, height);
        if (!read) return bench.SkipWithError(read.error().c_str());
        benchmark::DoNotOptimize(read->pixels.data());
    }
    const double perRead = seconds(Clock::now() - start) / static_cast<double>(bench.iterations());
    const double copy = frameCopySeconds();
    bench.counters["frame_copy_us"] = copy * 1e6;
    bench.counters["vs_frame_copy"] = perRead / copy;
}
BENCHMARK(portalRead)->Args({594, 578})->UseRealTime()->Unit(benchmark::kMicrosecond);

void sessionStart(benchmark::State& bench) {
    if (!desktop().problem.empty()) return bench.SkipWithError(desktop().problem.c_str());
    backends::qt::QtImageDecoder decoder;
    double total = 0;
    for (auto _ : bench) {
        backends::wayland::PortalScreen screen(decoder, desktop().width, desktop().height, configFolder(),
                                               picturesFolder());
        const auto start = Clock::now();
        auto read = screen.read(10, 20, 594, 578);
        const auto took = Clock::now() - start;
        if (!read) return bench.SkipWithError(read.error().c_str());
        bench.SetIterationTime(seconds(took));
        total += seconds(took);
    }
    auto bus = backends::wayland::PortalBus::connect();
    if (!bus) return bench.SkipWithError(bus.error().c_str());
    constexpr int kCalls = 20;
    const auto start = Clock::now();
    for (int i = 0; i < kCalls; ++i)
        benchmark::DoNotOptimize((*bus)->interfaceVersion("org.freedesktop.portal.ScreenCast"));
    const double roundTrip = seconds(Clock::now() - start) / kCalls;
    bench.counters["round_trip_us"] = roundTrip * 1e6;
    bench.counters["vs_round_trip"] = total / static_cast<double>(bench.iterations()) / roundTrip;
}
BENCHMARK(sessionStart)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
