#pragma once
// The viewer (class "NORMAL0"): a caption with a close box, a client area of exactly the back
// buffer's size at every DPI, the capture button, and file drops.
#include <windows.h>

#include "platform/window_events.h"

namespace backends::win32 {

class ViewerWindow {
public:
    static constexpr const wchar_t* kClassName = L"NORMAL0";

    ViewerWindow() = default;
    ~ViewerWindow();
    ViewerWindow(const ViewerWindow&) = delete;
    ViewerWindow& operator=(const ViewerWindow&) = delete;

    // Creates and shows the window; its events go to `events` until detach().
    bool create(HINSTANCE instance, HFONT font, platform::WindowEvents& events);
    void detach() { events_ = nullptr; }
    HWND handle() const { return window_; }

    void attach(HWND window) { window_ = window; }
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void fitClientArea(UINT dpi, const RECT* suggested);
    void fileDropped(HDROP drop);

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    platform::WindowEvents* events_ = nullptr;
};

}  // namespace backends::win32
