// The key poll runs once per displayed frame; it should cost next to nothing beside the frame.
#include <benchmark/benchmark.h>

#include <initializer_list>

#include "app/app_state.h"
#include "backends/fake/scripted_keyboard.h"
#include "input/actions.h"
#include "input/poll_keyboard.h"
#include "platform/virtual_keys.h"

namespace {

namespace vk = platform::vk;

// Grabs and captures are measured elsewhere; here they cost nothing.
class NoActions final : public input::Actions {
public:
    void requestQuit(int) override {}
    void frameGrab() override {}
    void overlayCapture() override {}
    void undoLastSave() override {}
};

void runPolls(benchmark::State& bench, std::initializer_list<int> held) {
    app::AppState state;
    backends::fake::ScriptedKeyboard keys;
    NoActions actions;
    for (int key : held) keys.press(key);
    for (auto _ : bench) {
        input::pollKeyboard(state.view, state.save, keys, actions);
        benchmark::DoNotOptimize(state);
    }
}

void pollWithNoKeyHeld(benchmark::State& bench) {
    runPolls(bench, {});
}

// Every chain's first key plus the overlay, light and colour keys: the busiest pass there is.
void pollWithEveryMoveHeld(benchmark::State& bench) {
    runPolls(bench, {vk::Return, vk::Numpad8, vk::Numpad1,  vk::Numpad6, vk::D,     vk::S,      vk::E,
                     vk::C,      vk::Digit8,  vk::Digit9,   vk::Digit0,  vk::U,     vk::Digit2, vk::Digit4,
                     vk::Digit6, vk::LShift,  vk::LControl, vk::Divide,  vk::Right, vk::Up,     vk::Prior});
}

}  // namespace

BENCHMARK(pollWithNoKeyHeld);
BENCHMARK(pollWithEveryMoveHeld);

BENCHMARK_MAIN();
