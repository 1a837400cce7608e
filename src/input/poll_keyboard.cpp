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

void pollKeyboard(state::ViewState& view, state::SaveState& save, platform::Keyboard& keyboard,
                  input::Actions& actions) {
    keyboard.refresh();
    // Our own windows' view of a key, and the physical view that ignores the focus.
    const auto held = [&keyboard](int key) { return keyboard.isHeld(key); };
    const auto heldAnywhere = [&keyboard](int key) { return keyboard.isHeldAnywhere(key); };

    if (held(vk::Escape)) actions.requestQuit(0);

    // One take-back per press, and only while one of our windows has the keys: F9 in another
    // program must not delete a sample.
    if (held(vk::F9)) {
        if (!save.undoHeld) actions.undoLastSave();
        save.undoHeld = true;
    } else {
        save.undoHeld = false;
    }

    // One capture per press: only the first poll of a hold sees the count below 3.
    if (held(vk::Return)) {
        addWrapped(save.enterHoldCount, 2);
        if (save.enterHoldCount < 3) {
            actions.overlayCapture();
        }
    } else {
        save.enterHoldCount = 0;
    }

    view.eyeWalkStep = 0.0f;
    view.modelWalkStep = 0.0f;
    view.modelSpinX = 0.0f;
    view.modelSpinY = 0.0f;
    view.modelSpinZ = 0.0f;

    if (held(vk::Numpad5)) actions.frameGrab();

    if (held(vk::Numpad2))
        view.eyeWalkStep = -0.04f;
    else if (held(vk::Numpad8))
        view.eyeWalkStep = 0.04f;

    if (held(vk::Numpad1))
        view.modelWalkStep = 0.03f;
    else if (held(vk::Numpad9))
        view.modelWalkStep = -0.03f;

    // Uses the heading from before this poll's arrow keys.
    const double heading = view.yaw;
    if (held(vk::Numpad6))
        base::moveAlong(view.eyePosition, 0.03f, heading + sideOffset);
    else if (held(vk::Numpad4))
        base::moveAlong(view.eyePosition, 0.03f, heading - sideOffset);
    else if (held(vk::Numpad7))
        base::moveAlong(view.modelPosition, 0.02f, heading + sideOffset);
    else if (held(vk::Numpad3))
        base::moveAlong(view.modelPosition, 0.02f, heading - sideOffset);

    // Letters and digits act whichever window has the focus, even while typing a prefix.
    if (heldAnywhere(vk::D)) addWrapped(view.overlayX, +3);
    if (heldAnywhere(vk::A)) addWrapped(view.overlayX, -3);
    if (heldAnywhere(vk::W)) addWrapped(view.overlayY, -3);
    if (heldAnywhere(vk::S)) addWrapped(view.overlayY, +3);
    clampSigned(view.overlayX, 4, 560);
    clampSigned(view.overlayY, 4, 544);

    if (heldAnywhere(vk::Q)) addWrapped(view.overlayWidth, -3);
    if (heldAnywhere(vk::E)) addWrapped(view.overlayWidth, +3);
    if (heldAnywhere(vk::Z)) addWrapped(view.overlayHeight, -3);
    if (heldAnywhere(vk::C)) addWrapped(view.overlayHeight, +3);
    // Unsigned on purpose: a size that wrapped below 0 stays huge; no upper bound.
    if (view.overlayWidth < 10) view.overlayWidth = 10;
    if (view.overlayHeight < 10) view.overlayHeight = 10;

    stepAmbient(keyboard, vk::Digit8, vk::I, view.ambientRed, view.ambientRedPercent);
    stepAmbient(keyboard, vk::Digit9, vk::O, view.ambientGreen, view.ambientGreenPercent);
    stepAmbient(keyboard, vk::Digit0, vk::P, view.ambientBlue, view.ambientBluePercent);

    stepChannel(keyboard, vk::Digit7, vk::U, view.overlayAlpha);
    stepChannel(keyboard, vk::Digit1, vk::Digit2, view.overlayRed);
    stepChannel(keyboard, vk::Digit3, vk::Digit4, view.overlayGreen);
    stepChannel(keyboard, vk::Digit5, vk::Digit6, view.overlayBlue);

    // Every numbered save spends its number itself: the poll leaves saveCounter alone.
    if (held(vk::Add)) {
        save.numberedSave = 1;
        actions.frameGrab();
    }
    if (held(vk::Subtract)) actions.overlayCapture();

    if (held(vk::LShift))
        view.modelSpinZ = 0.02f;
    else if (held(vk::RShift))
        view.modelSpinZ = -0.02f;

    if (held(vk::LControl))
        view.modelSpinX = 0.02f;
    else if (held(vk::RControl))
        view.modelSpinX = -0.02f;

    if (held(vk::Divide))
        view.modelSpinY = 0.02f;
    else if (held(vk::Multiply))
        view.modelSpinY = -0.02f;

    if (held(vk::Left))
        view.yaw -= 0.01f;
    else if (held(vk::Right))
        view.yaw += 0.01f;

    if (held(vk::Down))
        view.lookHeight -= 0.01f;
    else if (held(vk::Up))
        view.lookHeight += 0.01f;

    if (held(vk::Prior))
        view.modelPosition.y += 0.02f;
    else if (held(vk::Next))
        view.modelPosition.y -= 0.02f;

    if (view.lookHeight < 2.0f) view.lookHeight = 2.0f;
    if (view.lookHeight > 4.0f) view.lookHeight = 4.0f;

    // Walks along the heading after this poll's arrow keys.
    const double walked = view.yaw;
    base::moveAlong(view.eyePosition, view.eyeWalkStep, walked);
}

}  // namespace input
