// The CPU side of one displayed frame with the shipped model: the frame must leave most of a
// 60 Hz period free (aim: under 0.3 ms). The recording device turns every call into a string,
// so these figures are an upper bound on the core's own cost.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/app_state.h"
#include "backends/fake/fake_image_decoder.h"
#include "backends/fake/fake_shell.h"
#include "backends/fake/recording_device.h"
#include "backends/fake/scripted_keyboard.h"
#include "backends/fake/synthetic_screen.h"
#include "render/model_object.h"
#include "render/overlay_quad.h"
#include "render/render_frame.h"

namespace {

using backends::fake::RecordingDevice;

constexpr const char* kOverlayTexture = "フィルター画像.jpg";

// Texture names in the model resolve against the working directory, as in the program, so the
// sample pictures there give the textures.
bool enterAssets(benchmark::State& state) {
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(NUKITORI_SOURCE_DIR) / "assets", error);
    if (error) state.SkipWithError(("cannot enter the assets folder: " + error.message()).c_str());
    return !error;
}

// Only the calls of the frame itself are wanted; the double would otherwise grow without end.
void forgetFrame(RecordingDevice& device) {
    device.calls.clear();
    device.materialsSet.clear();
    device.texts.clear();
}

void renderFrameWithModel(benchmark::State& bench) {
    if (!enterAssets(bench)) return;
    RecordingDevice device;
    backends::fake::FakeImageDecoder decoder;
    render::ModelObject model("model.x", device, decoder);
    if (!model.hasMesh()) {
        bench.SkipWithError("assets/model.x was not loaded");
        return;
    }
    render::OverlayQuad overlay(device);
    overlay.loadTexture(decoder, kOverlayTexture);
    std::unique_ptr<device::TextFont> font = device.createTextFont(14);
    app::AppState state;
    // A model turning every frame, as when a spin key is held.
    state.view.modelSpinY = 0.01f;
    render::Scene scene{device, font.get(), &model, &overlay};

    std::size_t callsPerFrame = 0;
    for (auto _ : bench) {
        forgetFrame(device);
        render::renderFrame(state.view, state.save, scene);
        callsPerFrame = device.calls.size();
        benchmark::ClobberMemory();
    }
    bench.counters["device_calls"] = static_cast<double>(callsPerFrame);
    bench.counters["materials"] = static_cast<double>(model.materialCount());
}
BENCHMARK(renderFrameWithModel)->Unit(benchmark::kMicrosecond);

// The same frame without the texts: the share the four text lines take on the double.
void renderFrameWithModelNoTexts(benchmark::State& bench) {
    if (!enterAssets(bench)) return;
    RecordingDevice device;
    backends::fake::FakeImageDecoder decoder;
    render::ModelObject model("model.x", device, decoder);
    render::OverlayQuad overlay(device);
    overlay.loadTexture(decoder, kOverlayTexture);
    app::AppState state;
    render::Scene scene{device, nullptr, &model, &overlay};
    for (auto _ : bench) {
        forgetFrame(device);
        render::renderFrame(state.view, state.save, scene);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(renderFrameWithModelNoTexts)->Unit(benchmark::kMicrosecond);

// A whole idle pass of the main loop (key poll, scene bracket, clear, frame, present, pacing)
// on the doubles, started up from the samples as the program starts.
void idlePassOnDoubles(benchmark::State& bench) {
    if (!enterAssets(bench)) return;
    backends::fake::FakeShell shell;
    backends::fake::ScriptedKeyboard keyboard;
    backends::fake::SyntheticScreen screen{1280, 1024};
    backends::fake::FakeImageDecoder decoder;
    RecordingDevice* device = nullptr;
    shell.deviceFactory = [&device](int, int) -> std::unique_ptr<device::GraphicsDevice> {
        auto made = std::make_unique<RecordingDevice>();
        device = made.get();
        return made;
    };
    app::App app({shell, keyboard, screen, decoder, shell.devices()});
    const auto started = app.startUp();
    if (!started || !device) {
        bench.SkipWithError(("start-up failed: " + started.error()).c_str());
        return;
    }
    if (!app.currentModel() || !app.currentModel()->hasMesh()) {
        bench.SkipWithError("assets/model.x was not loaded");
        return;
    }
    for (auto _ : bench) {
        forgetFrame(*device);
        app.idlePass();
        benchmark::ClobberMemory();
    }
    if (app.quitCode()) bench.SkipWithError("the idle pass asked to quit");
    bench.counters["device_calls"] = static_cast<double>(device->calls.size());
}
BENCHMARK(idlePassOnDoubles)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
