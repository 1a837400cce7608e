#include "backends/win32/frame_window.h"

#include <algorithm>

#include "backends/win32/window_class.h"
#include "base/log.h"
#include "base/os/windows_text.h"
#include "base/region_from_bitmap.h"
#include "platform/window_layout.h"

namespace backends::win32 {

namespace {

namespace layout = platform::frame;

// A popup with a sizing frame, whose border WM_NCCALCSIZE takes away again.
constexpr DWORD kStyle = WS_POPUP | WS_VISIBLE | WS_THICKFRAME;

// The outline picture as a bitmap that WM_PAINT can copy from.
Bitmap bitmapFrom(const base::Image& picture) {
    DibSection dib = createTopDownDib(picture.width, picture.height);
    if (!dib.bits) return {};
    std::copy(picture.pixels.begin(), picture.pixels.end(), dib.bits);
    GdiFlush();
    return std::move(dib.bitmap);
}

// The rectangles of a shape as one region, in window coordinates.
Region regionFrom(const base::Region& shape) {
    std::vector<unsigned char> data(sizeof(RGNDATAHEADER) + shape.size() * sizeof(RECT));
    auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
    header->dwSize = sizeof(RGNDATAHEADER);
    header->iType = RDH_RECTANGLES;
    header->nCount = static_cast<DWORD>(shape.size());
    header->rcBound = {0, 0, 0, 0};
    auto* rects = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const base::RegionRect& r = shape[i];
        rects[i] = {r.left, r.top, r.right, r.bottom};
        header->rcBound.left = std::min(header->rcBound.left, rects[i].left);
        header->rcBound.top = std::min(header->rcBound.top, rects[i].top);
        header->rcBound.right = std::max(header->rcBound.right, rects[i].right);
        header->rcBound.bottom = std::max(header->rcBound.bottom, rects[i].bottom);
    }
    Region region(
        ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<RGNDATA*>(data.data())));
    if (region || shape.empty()) return region;
    // A system that refuses the rectangles at once still takes them one by one.
    region.reset(CreateRectRgn(0, 0, 0, 0));
    for (const base::RegionRect& r : shape) {
        const Region piece(CreateRectRgn(r.left, r.top, r.right, r.bottom));
        CombineRgn(region.get(), region.get(), piece.get(), RGN_OR);
    }
    return region;
}

}  // namespace

FrameWindow::~FrameWindow() {
    events_ = nullptr;
    if (window_) DestroyWindow(window_);
}

bool FrameWindow::create(HINSTANCE instance, HFONT font, const base::Image& outline,
                         platform::WindowEvents& events) {
    font_ = font;
    events_ = &events;
    pendingOutline_ = &outline;
    const std::wstring title = base::toUtf16(layout::kTitle);
    // A popup given the default place starts at the screen's top-left corner.
    CreateWindowExW(0, kClassName, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, layout::kWidth,
                    layout::kHeight, nullptr, nullptr, instance, this);
    pendingOutline_ = nullptr;
    return window_ != nullptr;
}

std::optional<base::Rect> FrameWindow::windowRect() const {
    RECT r{};
    if (!window_ || !GetWindowRect(window_, &r)) return std::nullopt;
    return base::Rect{r.left, r.top, r.right, r.bottom};
}

std::optional<std::string> FrameWindow::prefixText() const {
    if (!window_) return std::nullopt;
    const HWND box = GetDlgItem(window_, layout::kPrefixBox.id);
    if (!box) return std::nullopt;
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
    return base::toUtf8(text);
}

void FrameWindow::raiseAboveOtherClients() {
    if (!window_) return;
    // Setting "topmost" again on the first window changes nothing and restacks nothing, so it
    // goes through "not topmost", which keeps it first among the rest.
    constexpr UINT kFlags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW;
    SetWindowPos(window_, HWND_NOTOPMOST, 0, 0, 0, 0, kFlags);
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, kFlags);
}

void FrameWindow::shape(HWND window, const base::Image& outline) {
    if (!outline.empty()) {
        // The picture lies at the client origin; the region is in window coordinates.
        RECT outer{};
        GetWindowRect(window, &outer);
        POINT client{0, 0};
        ClientToScreen(window, &client);
        // Only the part of the outline that covers the window counts.
        const base::Region rectangles =
            base::regionFromBitmap(outline, -1, client.x - outer.left, client.y - outer.top,
                                   {0, 0, outer.right - outer.left, outer.bottom - outer.top});
        Region region = regionFrom(rectangles);
        // The system owns the region from here on.
        bool shaped = region && SetWindowRgn(window, region.get(), TRUE);
        if (shaped) region.release();
        // A region the system could not take whole leaves the frame invisible and out of reach:
        // it goes without.
        const Region given(CreateRectRgn(0, 0, 0, 0));
        if (shaped && given && GetWindowRgn(window, given.get()) == NULLREGION) shaped = false;
        if (!shaped && !rectangles.empty()) {
            SetWindowRgn(window, nullptr, TRUE);
            shapeRefused_ = true;
        }
        outline_ = bitmapFrom(outline);
        outlineSize_ = {outline.width, outline.height};
    }
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void FrameWindow::paint(HWND window) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(window, &ps);
    if (outline_) {
        const MemoryDc memory(dc);
        const Selection selected(memory.get(), outline_.get());
        BitBlt(dc, 0, 0, outlineSize_.cx, outlineSize_.cy, memory.get(), 0, 0, SRCCOPY);
    }
    EndPaint(window, &ps);
}

void FrameWindow::command(int id, int code) {
    if (!events_) return;
    if (id == layout::kShootButton.id && code == BN_CLICKED) {
        events_->onShootButton();
    } else if (id == layout::kExitButton.id && code == BN_CLICKED) {
        events_->onExitButton();
    } else if (id == layout::kPrefixBox.id && code == EN_CHANGE) {
        if (std::optional<std::string> text = prefixText()) events_->onPrefixChanged(*text);
    }
}

LRESULT FrameWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControl(window, layout::kExitButton, L"BUTTON", 0, BS_PUSHBUTTON, font_);
            createControl(window, layout::kShootButton, L"BUTTON", 0, BS_PUSHBUTTON, font_);
            // No ES_AUTOHSCROLL: the box takes only as much text as fits its width.
            createControl(window, layout::kPrefixBox, L"EDIT", WS_EX_CLIENTEDGE, ES_LEFT, font_);
            if (pendingOutline_) shape(window, *pendingOutline_);
            return 0;
        case WM_NCCALCSIZE:
            // No border inside the window: the client area is the whole window, so the outline
            // lies at the window's outer corner, from which the grabs measure the hole.
            return 0;
        case WM_NCHITTEST: {
            // The face drags the frame like a caption; the hole is outside the window's region
            // and the controls answer for themselves.
            const LRESULT hit = DefWindowProcW(window, message, wParam, lParam);
            return hit == HTCLIENT ? HTCAPTION : hit;
        }
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_SIZE || (wParam & 0xFFF0) == SC_MOVE)
                sizing_ = (wParam & 0xFFF0) == SC_SIZE;
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_EXITSIZEMOVE:
            // A drag has ended, even one that did not move: the hole is grabbed. A resize has
            // already been reported size by size.
            if (!sizing_ && events_) events_->onFrameMoved();
            sizing_ = false;
            return 0;
        case WM_SIZE:
            if (events_) events_->onFrameResized();
            return 0;
        case WM_PAINT:
            paint(window);
            return 0;
        case WM_CLOSE:
            // Closing the frame alone leaves the viewer running.
            DestroyWindow(window);
            return 0;
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace backends::win32
