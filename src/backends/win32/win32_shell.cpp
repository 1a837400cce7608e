#include "backends/win32/win32_shell.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

#include "backends/win32/frame_window.h"
#include "backends/win32/gdi_objects.h"
#include "backends/win32/gothic_font.h"
#include "backends/win32/viewer_window.h"
#include "backends/win32/window_class.h"
#include "base/log.h"
#include "platform/frame_pacer.h"
#include "platform/window_layout.h"

namespace backends::win32 {

namespace {

using Clock = platform::FramePacer::Clock;
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

}  // namespace

struct Win32Shell::Native {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    Brush background{CreateSolidBrush(GetSysColor(COLOR_BTNFACE))};
    Font viewerFont = createGothicFont(-platform::kControlFontPixels, DRAFT_QUALITY);
    Font frameFont = createGothicFont(-platform::kControlFontPixels, DRAFT_QUALITY);
    bool viewerClassRegistered = false;
    bool frameClassRegistered = false;
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

base::Point Win32Shell::viewerClientOrigin() {
    POINT origin{0, 0};
    if (const HWND viewer = native_->viewer.handle()) ClientToScreen(viewer, &origin);
    return {origin.x, origin.y};
}

}  // namespace backends::win32
