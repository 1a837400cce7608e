#include "backends/win32/viewer_window.h"

#include <shellapi.h>

#include <string>

#include "backends/win32/window_class.h"
#include "base/os/windows_text.h"
#include "platform/window_layout.h"

namespace backends::win32 {

namespace {

namespace layout = platform::viewer;

// No sizing border and no minimise or maximise box: the client area is the back buffer.
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_VISIBLE;
constexpr DWORD kExStyle = WS_EX_ACCEPTFILES;

// The outer size whose client area is the back buffer's, at `dpi`.
SIZE outerSize(UINT dpi) {
    RECT r{0, 0, layout::kClientWidth, layout::kClientHeight};
    if (dpi == 0 || !AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, dpi))
        AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
    return {r.right - r.left, r.bottom - r.top};
}

}  // namespace

ViewerWindow::~ViewerWindow() {
    events_ = nullptr;
    if (window_) DestroyWindow(window_);
}

bool ViewerWindow::create(HINSTANCE instance, HFONT font, platform::WindowEvents& events) {
    font_ = font;
    events_ = &events;
    RECT r{0, 0, layout::kClientWidth, layout::kClientHeight};
    AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
    const std::wstring title = base::toUtf16(layout::kTitle);
    CreateWindowExW(kExStyle, kClassName, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, this);
    if (!window_) return false;
    // The window may sit on a monitor whose DPI differs from the system's, which changes the
    // caption's height; the client area must stay the back buffer's size.
    fitClientArea(GetDpiForWindow(window_), nullptr);
    DragAcceptFiles(window_, TRUE);
    return true;
}

void ViewerWindow::fitClientArea(UINT dpi, const RECT* suggested) {
    RECT client{};
    GetClientRect(window_, &client);
    if (!suggested && client.right == layout::kClientWidth && client.bottom == layout::kClientHeight) return;
    RECT outer{};
    GetWindowRect(window_, &outer);
    const POINT place = suggested ? POINT{suggested->left, suggested->top} : POINT{outer.left, outer.top};
    const SIZE size = outerSize(dpi);
    SetWindowPos(window_, nullptr, place.x, place.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ViewerWindow::fileDropped(HDROP drop) {
    // Only the first file of a drop counts; its path may be longer than MAX_PATH.
    std::wstring path;
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        path.resize(length + 1);
        path.resize(DragQueryFileW(drop, 0, path.data(), length + 1));
    }
    DragFinish(drop);
    if (!path.empty() && events_) events_->onFileDropped(base::toUtf8(path));
}

LRESULT ViewerWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControl(window, layout::kCaptureButton, L"BUTTON", 0, BS_PUSHBUTTON, font_);
            return 0;
        case WM_DESTROY:
            if (events_) events_->onViewerClosed();
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == layout::kCaptureButton.id && HIWORD(wParam) == BN_CLICKED && events_)
                events_->onCaptureButton();
            return 0;
        case WM_DROPFILES:
            fileDropped(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_DPICHANGED:
            fitClientArea(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_PAINT:
        case WM_SIZE:
        case WM_DISPLAYCHANGE:
            // The picture comes from the next pass, which these make draw again.
            if (events_) events_->onViewerExposed();
            return DefWindowProcW(window, message, wParam, lParam);
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace backends::win32
