#pragma once
// Window classes and procedures shared by the viewer and the capture frame.
#include <windows.h>

#include "platform/window_layout.h"

namespace backends::win32 {

// The classes of the program's windows: redrawn whole when resized, double clicks reported,
// the application icon, the arrow cursor and the button-face background.
inline bool registerWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                                HBRUSH background) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = LoadIconW(nullptr, IDI_WINLOGO);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

// The class procedure of a window kept by an object of type Window: the object comes with
// CreateWindowExW's creation parameter and answers every message through
// Window::handleMessage from then on. Window::attach(HWND) hears of the window first, and of
// null at WM_NCDESTROY, after which nothing reaches the object any more.
template <class Window>
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self) self->attach(window);
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->attach(nullptr);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handleMessage(window, message, wParam, lParam);
}

// A visible child control of `parent` at its place of the window layout, with its identifier
// and text, in `font`.
HWND createControl(HWND parent, const platform::Control& place, const wchar_t* windowClass, DWORD exStyle,
                   DWORD style, HFONT font);

}  // namespace backends::win32
