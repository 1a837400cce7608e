#include "backends/x11/x11_keyboard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <initializer_list>

#include "platform/virtual_keys.h"

namespace backends::x11 {

namespace {

namespace vk = platform::vk;

// The first keysym of the list that the display has a key for.
std::uint8_t firstKeycode(Display* display, std::initializer_list<KeySym> keysyms) {
    for (KeySym keysym : keysyms) {
        const KeyCode code = XKeysymToKeycode(display, keysym);
        if (code != 0) return static_cast<std::uint8_t>(code);
    }
    return 0;
}

}  // namespace

X11Keyboard::KeycodeMap X11Keyboard::buildKeycodeMap(Display* display) {
    KeycodeMap map{};
    const auto set = [&](int virtualKey, std::initializer_list<KeySym> keysyms) {
        map[static_cast<std::size_t>(virtualKey)] = firstKeycode(display, keysyms);
    };

    for (int i = 0; i < 26; ++i) set(platform::vk::A + i, {static_cast<KeySym>(XK_a + i)});
    for (int i = 0; i < 10; ++i) set(platform::vk::Digit0 + i, {static_cast<KeySym>(XK_0 + i)});

    // The keypad digits are the same keys with NumLock off; either keysym finds the key.
    const KeySym keypadWithoutNumLock[10] = {XK_KP_Insert, XK_KP_End,   XK_KP_Down, XK_KP_Next, XK_KP_Left,
                                             XK_KP_Begin,  XK_KP_Right, XK_KP_Home, XK_KP_Up,   XK_KP_Prior};
    for (int i = 0; i < 10; ++i)
        set(platform::vk::Numpad0 + i, {static_cast<KeySym>(XK_KP_0 + i), keypadWithoutNumLock[i]});
    set(platform::vk::Add, {XK_KP_Add});
    set(platform::vk::Subtract, {XK_KP_Subtract});
    set(platform::vk::Multiply, {XK_KP_Multiply});
    set(platform::vk::Divide, {XK_KP_Divide});

    // Keypad Enter is a key of its own and does not capture.
    set(platform::vk::Return, {XK_Return});
    set(platform::vk::Escape, {XK_Escape});
    set(platform::vk::LShift, {XK_Shift_L});
    set(platform::vk::RShift, {XK_Shift_R});
    set(platform::vk::LControl, {XK_Control_L});
    set(platform::vk::RControl, {XK_Control_R});
    set(platform::vk::Left, {XK_Left});
    set(platform::vk::Up, {XK_Up});
    set(platform::vk::Right, {XK_Right});
    set(platform::vk::Down, {XK_Down});
    set(platform::vk::Prior, {XK_Prior});
    set(platform::vk::Next, {XK_Next});
    set(platform::vk::F9, {XK_F9});
    return map;
}

X11Keyboard::X11Keyboard(Display* display, OwnWindowKeys& ownKeys)
    : display_(display), keycodes_(buildKeycodeMap(display)), ownWindows_(ownKeys) {
    int opcode = 0, firstEvent = 0, firstError = 0, major = 2, minor = 0;
    if (!XQueryExtension(display_, "XInputExtension", &opcode, &firstEvent, &firstError) ||
        XIQueryVersion(display_, &major, &minor) != Success)
        return;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    // The keys already held when the events start.
    XQueryKeymap(display_, keymap_.data());
    for (std::size_t code = 0; code < OwnWindowKeys::kKeys; ++code)
        if ((static_cast<unsigned char>(keymap_[code / 8]) >> (code % 8)) & 1u)
            anywhere_.keyEvent(code, true);
    rawEventsOpcode_ = opcode;
}

void X11Keyboard::refresh() {
    if (rawEventsOpcode_ >= 0) {
        // Only what has already arrived: reading the queue waits for nothing.
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            XGenericEventCookie& cookie = event.xcookie;
            if (cookie.type != GenericEvent || cookie.extension != rawEventsOpcode_ ||
                !XGetEventData(display_, &cookie))
                continue;
            if (cookie.evtype == XI_RawKeyPress || cookie.evtype == XI_RawKeyRelease) {
                const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
                anywhere_.keyEvent(static_cast<std::size_t>(raw->detail), cookie.evtype == XI_RawKeyPress);
            }
            XFreeEventData(display_, &cookie);
        }
        anywhere_.startPoll();
    } else {
        XQueryKeymap(display_, keymap_.data());
    }
    ownWindows_.startPoll();
}

std::uint8_t X11Keyboard::keycodeOf(int virtualKey) const {
    if (virtualKey < 0 || virtualKey >= platform::vk::Count) return 0;
    return keycodes_[static_cast<std::size_t>(virtualKey)];
}

bool X11Keyboard::isHeldAnywhere(int virtualKey) {
    const std::uint8_t code = keycodeOf(virtualKey);
    if (code == 0) return false;
    if (rawEventsOpcode_ >= 0) return anywhere_.isHeld(code);
    return (static_cast<unsigned char>(keymap_[code / 8]) >> (code % 8)) & 1u;
}

bool X11Keyboard::anyKeyMayBeHeld() {
    // Without raw events, presses elsewhere arrive as nothing: only polling sees them.
    return rawEventsOpcode_ < 0 || XPending(display_) > 0 || anywhere_.anyHeld() || ownWindows_.anyHeld();
}

bool X11Keyboard::isHeld(int virtualKey) {
    const std::uint8_t code = keycodeOf(virtualKey);
    return code != 0 && ownWindows_.isHeld(code);
}

}  // namespace backends::x11
