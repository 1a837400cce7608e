#include "backends/win32/win32_keyboard.h"

#include <windows.h>

namespace backends::win32 {

namespace {

bool ourWindowInForeground() {
    const HWND foreground = GetForegroundWindow();
    if (!foreground) return false;
    // Every window of this process is ours: the viewer, the frame and anything they own.
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId();
}

bool inRange(int virtualKey) {
    return virtualKey > 0 && virtualKey < platform::vk::Count;
}

}  // namespace

Win32Keyboard::Win32Keyboard() {
    // Presses from before the program started are no one's business here.
    for (int key = 1; key < platform::vk::Count; ++key) GetAsyncKeyState(key);
}

void Win32Keyboard::refresh() {
    foreground_ = ourWindowInForeground();
    // The low bit of GetAsyncKeyState says "pressed since the last call", so one call per key
    // and poll tells which keys went down since the previous poll, even if already up again.
    for (int key = 1; key < platform::vk::Count; ++key)
        if (asked_.test(static_cast<std::size_t>(key)))
            pressedSincePoll_.set(static_cast<std::size_t>(key), (GetAsyncKeyState(key) & 0x0001) != 0);
}

bool Win32Keyboard::isHeld(int virtualKey) {
    if (!inRange(virtualKey)) return false;
    const auto key = static_cast<std::size_t>(virtualKey);
    if (!asked_.test(key)) {
        // From now on refresh() reads this key; this once, the press since start-up counts.
        asked_.set(key);
        pressedSincePoll_.set(key, (GetAsyncKeyState(virtualKey) & 0x0001) != 0);
    }
    if (!foreground_) return false;
    return (GetKeyState(virtualKey) & 0x8000) != 0 || pressedSincePoll_.test(key);
}

bool Win32Keyboard::isHeldAnywhere(int virtualKey) {
    if (!inRange(virtualKey)) return false;
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

}  // namespace backends::win32
