#pragma once
// Implements platform::Keyboard on Windows. Held in our windows: GetKeyState, the state our
// thread's key messages left, counted only while one of our windows is the foreground window (Wine
// reports the keys of another Wine program's window there too). Held anywhere: GetAsyncKeyState.
// A key pressed and released between two polls still counts as held in our windows for the next
// poll, so a quick tap is not lost.
#include <bitset>

#include "platform/keyboard.h"
#include "platform/virtual_keys.h"

namespace backends::win32 {

class Win32Keyboard final : public platform::Keyboard {
public:
    Win32Keyboard();
    void refresh() override;
    bool isHeld(int virtualKey) override;
    bool isHeldAnywhere(int virtualKey) override;

private:
    std::bitset<platform::vk::Count> asked_;             // the keys the poll asks through isHeld
    std::bitset<platform::vk::Count> pressedSincePoll_;  // of those, pressed since the previous poll
    bool foreground_ = false;
};

}  // namespace backends::win32
