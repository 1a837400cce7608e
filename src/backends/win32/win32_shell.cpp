#include "backends/win32/win32_shell.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "backends/win32/frame_window.h"
#include "backends/win32/gdi_objects.h"
#include "backends/win32/gothic_font.h"
#include "backends/win32/viewer_window.h"
#include "backends/win32/window_class.h"
#include "base/log.h"
#include "base/os/windows_text.h"
#include "platform/frame_pacer.h"
#include "platform/window_layout.h"

namespace backends::win32 {

namespace {

using Clock = platform::FramePacer::Clock;
constexpr const wchar_t* kKeyWindowClassName = L"nukitoriKeys";
constexpr int kKeyCloseButton = 1;
// Windows 10 1803 and later; older systems refuse it and get an ordinary timer.
constexpr DWORD kHighResolutionTimer = 0x00000002;
constexpr const wchar_t* kUnusedClassName = L"NORMALDLG";

// A timer for the waits between polls: Sleep's and the message wait's granularity of about
// 15.6 ms is too coarse for a 16.7 ms period.
class PollTimer {
public:
    PollTimer() {
        timer_ = CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
        if (!timer_) timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    ~PollTimer() {
        if (timer_) CloseHandle(timer_);
    }
    PollTimer(const PollTimer&) = delete;
    PollTimer& operator=(const PollTimer&) = delete;

    // Waits until `deadline` or until a message arrives, whichever comes first.
    void waitForMessageUntil(Clock::time_point deadline) {
        using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;  // 100 ns
        const auto left = deadline - Clock::now();
        LARGE_INTEGER due;
        due.QuadPart = -std::max<long long>(1, std::chrono::ceil<Ticks>(left).count());  // negative: relative
        if (timer_ && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
            MsgWaitForMultipleObjectsEx(1, &timer_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            return;
        }
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::max<long long>(0, milliseconds)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

private:
    HANDLE timer_ = nullptr;
};

// The key window: the list in a read-only box, and a button that closes it; closing it leaves
// the program running.
LRESULT CALLBACK keyWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kKeyCloseButton) DestroyWindow(window);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The list with the line breaks an edit box shows.
std::wstring editBoxText(const std::string& text) {
    std::wstring lines;
    for (const wchar_t c : base::toUtf16(text)) {
        if (c == L'\n') lines += L'\r';
        lines += c;
    }
    return lines;
}

}  // namespace

struct Win32Shell::Native {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    Brush background{CreateSolidBrush(GetSysColor(COLOR_BTNFACE))};
    Font viewerFont = createGothicFont(-platform::kControlFontPixels, DRAFT_QUALITY);
    Font frameFont = createGothicFont(-platform::kControlFontPixels, DRAFT_QUALITY);
    bool viewerClassRegistered = false;
    bool frameClassRegistered = false;
    bool keyClassRegistered = false;
    HWND keyWindow = nullptr;
    Font keyFont = createGothicFont(-13, ANTIALIASED_QUALITY);
    ViewerWindow viewer;
    FrameWindow frame;
    platform::WindowEvents* events = nullptr;
    PollTimer timer;
    platform::FramePacer pacer;
    // Wine leaves the stacking among other X clients' windows to X, where a window mapped
    // later covers the topmost frame; there the frame raises itself twice a second.
    bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
};

Win32Shell::Win32Shell() : native_(std::make_unique<Native>()) {}

Win32Shell::~Win32Shell() {
    // The windows go first, without telling the core (it may be gone already), then their
    // classes, and only then the fonts and the brush they use.
    native_->events = nullptr;
    native_->frame.detach();
    native_->viewer.detach();
    if (native_->keyWindow && IsWindow(native_->keyWindow)) DestroyWindow(native_->keyWindow);
    if (native_->keyClassRegistered) UnregisterClassW(kKeyWindowClassName, native_->instance);
    if (native_->frame.handle()) DestroyWindow(native_->frame.handle());
    if (native_->viewer.handle()) DestroyWindow(native_->viewer.handle());
    if (native_->frameClassRegistered) UnregisterClassW(FrameWindow::kClassName, native_->instance);
    if (native_->viewerClassRegistered) {
        UnregisterClassW(ViewerWindow::kClassName, native_->instance);
        UnregisterClassW(kUnusedClassName, native_->instance);
    }
}

void Win32Shell::createViewer(platform::WindowEvents& events) {
    Native& n = *native_;
    n.events = &events;
    if (!n.viewerClassRegistered) {
        // A dialog class that no window uses, kept because the program has always had it.
        registerWindowClass(n.instance, kUnusedClassName, DefWindowProcW, n.background.get());
        n.viewerClassRegistered = registerWindowClass(n.instance, ViewerWindow::kClassName,
                                                      windowProcedure<ViewerWindow>, n.background.get());
    }
    if (!n.viewer.create(n.instance, n.viewerFont.get(), events))
        base::logLine("nukitori: the viewer window could not be created");
}

platform::OutlineShape Win32Shell::createFrame(platform::WindowEvents& events, const base::Image& outline) {
    Native& n = *native_;
    n.events = &events;
    if (!n.frameClassRegistered)
        n.frameClassRegistered = registerWindowClass(n.instance, FrameWindow::kClassName,
                                                     windowProcedure<FrameWindow>, n.background.get());
    if (!n.frame.create(n.instance, n.frameFont.get(), outline, events))
        base::logLine("nukitori: the capture frame window could not be created");
    return n.frame.shapeRefused() ? platform::OutlineShape::Refused : platform::OutlineShape::Taken;
}

HWND Win32Shell::viewerWindow() const {
    return native_->viewer.handle();
}

void Win32Shell::repaintViewer() {
    // Making the device may cover the client area, button included (Wine gives the device a
    // surface of its own).
    RedrawWindow(native_->viewer.handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Win32Shell::showCursor() {
    ShowCursor(TRUE);
}

void Win32Shell::paceFrame() {
    Native& n = *native_;
    if (n.pacer.raiseDue() && n.underWine) n.frame.raiseAboveOtherClients();
    // Window events are handled as they come while the next poll is not yet due. Where
    // presenting did not wait for a refresh (Wine under Xvfb has none), the 60 Hz period is
    // kept here, so a held key moves things at the same speed anywhere.
    const auto deadline = n.pacer.deadline();
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        n.timer.waitForMessageUntil(deadline);
        processPendingEvents();
    }
    n.pacer.waited(Clock::now());
}

void Win32Shell::processPendingEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Someone asked this thread to end; the core ends the way closing the viewer does.
            if (native_->events) native_->events->onViewerClosed();
            return;
        }
        // F1 pressed (not repeated) in any of our windows, the controls included.
        if (message.message == WM_KEYDOWN && message.wParam == VK_F1 && !(message.lParam & (1 << 30))) {
            if (native_->events) native_->events->onHelpKey();
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::optional<base::Rect> Win32Shell::frameWindowRect() {
    return native_->frame.windowRect();
}

std::optional<std::string> Win32Shell::frameEditText() {
    return native_->frame.prefixText();
}

void Win32Shell::toggleKeyWindow(const std::string& text) {
    Native& n = *native_;
    if (n.keyWindow && IsWindow(n.keyWindow)) {
        DestroyWindow(n.keyWindow);
        n.keyWindow = nullptr;
        return;
    }
    if (!n.keyClassRegistered)
        n.keyClassRegistered =
            registerWindowClass(n.instance, kKeyWindowClassName, keyWindowProcedure, n.background.get());
    constexpr int width = 900, height = 660;
    // Beside the viewer where the screen has room, else as far right as it fits.
    RECT viewer{};
    GetWindowRect(n.viewer.handle(), &viewer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(n.viewer.handle(), MONITOR_DEFAULTTONEAREST), &monitor);
    const int x = std::max<int>(monitor.rcWork.left,
                           std::min<int>(viewer.right + 8, monitor.rcWork.right - width));
    n.keyWindow = CreateWindowExW(0, kKeyWindowClassName, L"キー一覧 (Keys)", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                  x, viewer.top, width, height, nullptr, nullptr, n.instance, nullptr);
    if (!n.keyWindow) return;
    RECT client{};
    GetClientRect(n.keyWindow, &client);
    const HWND list = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", editBoxText(text).c_str(),
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 8, 8,
        client.right - 16, client.bottom - 52, n.keyWindow, nullptr, n.instance, nullptr);
    const HWND close = CreateWindowExW(0, L"BUTTON", L"閉じる (Close)", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                       client.right - 128, client.bottom - 36, 120, 28, n.keyWindow,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kKeyCloseButton)), n.instance,
                                       nullptr);
    for (const HWND control : {list, close})
        if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(n.keyFont.get()), FALSE);
    ShowWindow(n.keyWindow, SW_SHOW);
    SetForegroundWindow(n.keyWindow);
}

base::Point Win32Shell::viewerClientOrigin() {
    POINT origin{0, 0};
    if (const HWND viewer = native_->viewer.handle()) ClientToScreen(viewer, &origin);
    return {origin.x, origin.y};
}

}  // namespace backends::win32
