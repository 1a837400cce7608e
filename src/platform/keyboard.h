#pragma once
// Key state as the key poll asks for it. Keys are named by Windows virtual-key codes.
namespace platform {

class Keyboard {
public:
    virtual ~Keyboard() = default;
    // Called once at the start of every poll, so a backend can read the whole keymap at once.
    virtual void refresh() {}
    // Held as our own windows' key events saw it (GetKeyState).
    virtual bool isHeld(int virtualKey) = 0;
    // Held physically, whichever window has the focus (GetAsyncKeyState).
    virtual bool isHeldAnywhere(int virtualKey) = 0;
    // False only when no key is held anywhere and every press will arrive as an event that ends
    // the shell's wait for events; a backend that cannot know says true.
    virtual bool anyKeyMayBeHeld() { return true; }
};

}  // namespace platform
