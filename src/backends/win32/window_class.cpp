#include "backends/win32/window_class.h"

#include "base/os/windows_text.h"

namespace backends::win32 {

HWND createControl(HWND parent, const platform::Control& place, const wchar_t* windowClass, DWORD exStyle,
                   DWORD style, HFONT font) {
    const std::wstring text = base::toUtf16(place.text);
    const HWND control = CreateWindowExW(
        exStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, place.x, place.y, place.width,
        place.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(place.id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    // Set before the first paint, so no redraw is asked for.
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

}  // namespace backends::win32
