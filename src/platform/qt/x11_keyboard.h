#pragma once
// Key state on X11. Physical state comes from one keymap query per poll; the state "as our
// windows saw it" is kept from the key events that reach our own windows.
#include <array>
#include <cstdint>

#include "platform/keyboard.h"
#include "platform/own_window_keys.h"

// Xlib's own declaration, so this header does not drag Xlib's macros into Qt code.
struct _XDisplay;
using Display = _XDisplay;

namespace platform::qt {

class X11Keyboard final : public platform::Keyboard {
public:
    // X keycodes run from 8 to 255; 0 means the key has no keycode on this display.
    using KeycodeMap = std::array<std::uint8_t, 256>;

    // The display must outlive the keyboard. Keycodes are looked up once, here.
    explicit X11Keyboard(Display* display);

    void refresh() override;
    bool isHeld(int virtualKey) override;
    bool isHeldAnywhere(int virtualKey) override;

    // Fed by the window event filter: nativeScanCode is the X keycode of the event.
    void keyEvent(unsigned nativeScanCode, bool pressed);
    // Our windows no longer see the keys, so nothing counts as held through them.
    void focusLost();

    // Virtual key -> physical keycode on this display.
    static KeycodeMap buildKeycodeMap(Display* display);

private:
    std::uint8_t keycodeOf(int virtualKey) const;

    Display* display_;
    KeycodeMap keycodes_{};
    std::array<char, 32> keymap_{};  // one bit per keycode, as XQueryKeymap returns it
    OwnWindowKeys ownWindows_;
};

}  // namespace platform::qt
