#pragma once
// Implements platform::Keyboard on X11. Held anywhere: the server's raw key events (XInput 2),
// which arrive without asking, so a poll costs no round trip; where the server lacks them, one
// keymap query per poll. Held in our windows: the key events that the shell feeds to `ownKeys`.
// Does not: see keys of other X displays, or map keys by layout (keys are physical, by keycode).
#include <array>
#include <cstdint>

#include "backends/x11/own_window_keys.h"
#include "platform/keyboard.h"

// Xlib's own declaration, so this header does not drag Xlib's macros into toolkit code.
struct _XDisplay;
using Display = _XDisplay;

namespace backends::x11 {

class X11Keyboard final : public platform::Keyboard {
public:
    // X keycodes run from 8 to 255; 0 means the key has no keycode on this display.
    using KeycodeMap = std::array<std::uint8_t, 256>;

    // The display and `ownKeys` (X keycodes) must outlive the keyboard. Keycodes are looked
    // up once, here.
    X11Keyboard(Display* display, OwnWindowKeys& ownKeys);

    void refresh() override;
    bool isHeld(int virtualKey) override;
    bool anyKeyMayBeHeld() override;
    bool isHeldAnywhere(int virtualKey) override;

    // Virtual key -> physical keycode on this display.
    static KeycodeMap buildKeycodeMap(Display* display);

private:
    std::uint8_t keycodeOf(int virtualKey) const;

    Display* display_;
    KeycodeMap keycodes_{};
    OwnWindowKeys& ownWindows_;
    int rawEventsOpcode_ = -1;       // the XInput extension's, once raw key events are selected
    OwnWindowKeys anywhere_;         // from raw key events
    std::array<char, 32> keymap_{};  // without them: one bit per keycode, as XQueryKeymap returns it
};

}  // namespace backends::x11
