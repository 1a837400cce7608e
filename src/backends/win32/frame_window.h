#pragma once
// The capture frame (class "NORMAL1"): a topmost popup shaped by its outline picture, whose
// face drags it, with the exit and shoot buttons and the prefix box.
#include <windows.h>

#include <optional>
#include <string>

#include "backends/win32/gdi_objects.h"
#include "base/geometry.h"
#include "base/image.h"
#include "platform/window_events.h"

namespace backends::win32 {

class FrameWindow {
public:
    static constexpr const wchar_t* kClassName = L"NORMAL1";

    FrameWindow() = default;
    ~FrameWindow();
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;

    // Creates and shows the window, shaped by `outline` (an empty picture leaves it
    // rectangular); its events go to `events` until detach().
    bool create(HINSTANCE instance, HFONT font, const base::Image& outline, platform::WindowEvents& events);
    // Whether the window system refused the outline's shape, so the frame stayed rectangular.
    bool shapeRefused() const { return shapeRefused_; }
    void detach() { events_ = nullptr; }
    // Null once the frame is closed.
    HWND handle() const { return window_; }
    std::optional<base::Rect> windowRect() const;
    std::optional<std::string> prefixText() const;
    // Restacks the frame on top even where it is already the topmost window, for a window
    // system that lets another program's window cover it.
    void raiseAboveOtherClients();

    void attach(HWND window) { window_ = window; }
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void shape(HWND window, const base::Image& outline);
    void paint(HWND window);
    void command(int id, int code);

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    const base::Image* pendingOutline_ = nullptr;  // only while the window is being created
    bool shapeRefused_ = false;
    Bitmap outline_;
    SIZE outlineSize_{};
    bool sizing_ = false;  // the current move-or-size loop resizes the frame
    platform::WindowEvents* events_ = nullptr;
};

}  // namespace backends::win32
