#include "input/poll_keyboard.h"

#include <cmath>
#include <cstdint>

#include "platform/virtual_keys.h"

namespace input {

namespace vk = platform::vk;

namespace {

// 16-bit fields keep the low 16 bits of every result; the conversion is modular in C++20.
void addWrapped(std::uint16_t& value, int delta) {
    value = static_cast<std::uint16_t>(value + delta);
}
void addWrapped(std::int16_t& value, int delta) {
    value = static_cast<std::int16_t>(value + delta);
}

void clampSigned(std::int16_t& value, std::int16_t low, std::int16_t high) {
    if (value < low)
        value = low;
    else if (value > high)
        value = high;
}

// Both tests run, in this order, so a value that wrapped below 0 comes back as 255.
void clampChannel(std::uint16_t& value) {
    if (value > 254) value = 255;
    if (value < 2) value = 1;
}

void stepChannel(platform::Keyboard& keyboard, int downKey, int upKey, std::uint16_t& value) {
    if (keyboard.isHeldAnywhere(downKey)) addWrapped(value, -1);
    if (keyboard.isHeldAnywhere(upKey)) addWrapped(value, +1);
    clampChannel(value);
}

// The percentage is stepped alongside the float, not derived from it, so the two drift apart
// after the floor; only the clamps bring them back in line.
void stepAmbient(platform::Keyboard& keyboard, int downKey, int upKey, float& value, std::uint16_t& percent) {
    if (keyboard.isHeldAnywhere(downKey)) {
        addWrapped(percent, -1);
        value -= 0.01f;
    }
    if (keyboard.isHeldAnywhere(upKey)) {
        addWrapped(percent, +1);
        value += 0.01f;
    }
    if (value > 1.0f) {
        value = 1.0f;
        percent = 100;
    }
    if (static_cast<double>(value) < 0.05) {
        value = 0.05f;  // the float nearest 0.05 lies above the double bound
        percent = 1;
    }
}

// Not pi/2: the sideways direction is deliberately a little off square.
constexpr double sideOffset = 1.57;

}  // namespace

void pollKeyboard(state::ViewState& state, state::SaveState& save, platform::Keyboard& keyboard,
                  input::Actions& actions) {
    keyboard.refresh();
    // Our own windows' view of a key, and the physical view that ignores the focus.
    const auto held = [&keyboard](int key) { return keyboard.isHeld(key); };
    const auto heldAnywhere = [&keyboard](int key) { return keyboard.isHeldAnywhere(key); };

    if (held(vk::Escape)) actions.requestQuit(0);

    // One capture per press: only the first poll of a hold sees the count below 3.
    if (held(vk::Return)) {
        addWrapped(save.enterHoldCount, 2);
        if (save.enterHoldCount < 3) {
            actions.overlayCapture();
        }
    } else {
        save.enterHoldCount = 0;
    }

    state.eyeWalkStep = 0.0f;
    state.modelWalkStep = 0.0f;
    state.modelSpinX = 0.0f;
    state.modelSpinY = 0.0f;
    state.modelSpinZ = 0.0f;

    if (held(vk::Numpad5)) actions.frameGrab();

    if (held(vk::Numpad2))
        state.eyeWalkStep = -0.04f;
    else if (held(vk::Numpad8))
        state.eyeWalkStep = 0.04f;

    if (held(vk::Numpad1))
        state.modelWalkStep = 0.03f;
    else if (held(vk::Numpad9))
        state.modelWalkStep = -0.03f;

    // Uses the heading from before this poll's arrow keys.
    const double heading = state.yaw;
    if (held(vk::Numpad6))
        base::moveAlong(state.eyePosition, 0.03f, heading + sideOffset);
    else if (held(vk::Numpad4))
        base::moveAlong(state.eyePosition, 0.03f, heading - sideOffset);
    else if (held(vk::Numpad7))
        base::moveAlong(state.modelPosition, 0.02f, heading + sideOffset);
    else if (held(vk::Numpad3))
        base::moveAlong(state.modelPosition, 0.02f, heading - sideOffset);

    // Letters and digits act whichever window has the focus, even while typing a prefix.
    if (heldAnywhere(vk::D)) addWrapped(state.overlayX, +3);
    if (heldAnywhere(vk::A)) addWrapped(state.overlayX, -3);
    if (heldAnywhere(vk::W)) addWrapped(state.overlayY, -3);
    if (heldAnywhere(vk::S)) addWrapped(state.overlayY, +3);
    clampSigned(state.overlayX, 4, 560);
    clampSigned(state.overlayY, 4, 544);

    if (heldAnywhere(vk::Q)) addWrapped(state.overlayWidth, -3);
    if (heldAnywhere(vk::E)) addWrapped(state.overlayWidth, +3);
    if (heldAnywhere(vk::Z)) addWrapped(state.overlayHeight, -3);
    if (heldAnywhere(vk::C)) addWrapped(state.overlayHeight, +3);
    // Unsigned on purpose: a size that wrapped below 0 stays huge; no upper bound.
    if (state.overlayWidth < 10) state.overlayWidth = 10;
    if (state.overlayHeight < 10) state.overlayHeight = 10;

    stepAmbient(keyboard, vk::Digit8, vk::I, state.ambientRed, state.ambientRedPercent);
    stepAmbient(keyboard, vk::Digit9, vk::O, state.ambientGreen, state.ambientGreenPercent);
    stepAmbient(keyboard, vk::Digit0, vk::P, state.ambientBlue, state.ambientBluePercent);

    stepChannel(keyboard, vk::Digit7, vk::U, state.overlayAlpha);
    stepChannel(keyboard, vk::Digit1, vk::Digit2, state.overlayRed);
    stepChannel(keyboard, vk::Digit3, vk::Digit4, state.overlayGreen);
    stepChannel(keyboard, vk::Digit5, vk::Digit6, state.overlayBlue);

    // Every numbered save spends its number itself: the poll leaves saveCounter alone.
    if (held(vk::Add)) {
        save.numberedSave = 1;
        actions.frameGrab();
    }
    if (held(vk::Subtract)) actions.overlayCapture();

    if (held(vk::LShift))
        state.modelSpinZ = 0.02f;
    else if (held(vk::RShift))
        state.modelSpinZ = -0.02f;

    if (held(vk::LControl))
        state.modelSpinX = 0.02f;
    else if (held(vk::RControl))
        state.modelSpinX = -0.02f;

    if (held(vk::Divide))
        state.modelSpinY = 0.02f;
    else if (held(vk::Multiply))
        state.modelSpinY = -0.02f;

    if (held(vk::Left))
        state.yaw -= 0.01f;
    else if (held(vk::Right))
        state.yaw += 0.01f;

    if (held(vk::Down))
        state.lookHeight -= 0.01f;
    else if (held(vk::Up))
        state.lookHeight += 0.01f;

    if (held(vk::Prior))
        state.modelPosition.y += 0.02f;
    else if (held(vk::Next))
        state.modelPosition.y -= 0.02f;

    if (state.lookHeight < 2.0f) state.lookHeight = 2.0f;
    if (state.lookHeight > 4.0f) state.lookHeight = 4.0f;

    // Walks along the heading after this poll's arrow keys.
    const double walked = state.yaw;
    base::moveAlong(state.eyePosition, state.eyeWalkStep, walked);
}

}  // namespace input
