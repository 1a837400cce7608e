// nukitori-replay on Windows: the frames drawn by the Direct3D 9 device on a window that is never
// shown, the texts by GDI and the pictures read by WIC, as in the viewer.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "backends/d3d9/d3d9_device.h"
#include "backends/win32/com_scope.h"
#include "backends/win32/gdi_text_painter.h"
#include "backends/win32/wic_image_decoder.h"
#include "base/os/windows_text.h"
#include "replay/replay.h"
#include "state/view_state.h"

namespace {

constexpr wchar_t kWindowClass[] = L"nukitori_replay";

class HiddenD3d9 final : public replay::Renderer {
public:
    static base::Result<std::unique_ptr<replay::Renderer>> create() {
        std::unique_ptr<HiddenD3d9> made(new HiddenD3d9);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass);
        // Its client area is the back buffer's size; it is never shown.
        RECT frame{0, 0, state::kBackBufferWidth, state::kBackBufferHeight};
        AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
        made->window_ = CreateWindowExW(0, kWindowClass, L"nukitori-replay", WS_OVERLAPPEDWINDOW, 0, 0,
                                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
        if (!made->window_)
            return base::Failure{"no window for Direct3D 9: " + base::systemErrorText(GetLastError())};
        auto device = backends::d3d9::D3d9Device::create(made->window_,
                                                         std::make_unique<backends::win32::GdiTextPainter>(),
                                                         state::kBackBufferWidth, state::kBackBufferHeight);
        if (!device) return base::Failure{"no Direct3D 9 device: " + device.error()};
        made->device_ = std::move(*device);
        return std::unique_ptr<replay::Renderer>(std::move(made));
    }
    ~HiddenD3d9() override {
        device_.reset();
        if (window_) DestroyWindow(window_);
    }
    device::GraphicsDevice& device() override { return *device_; }
    platform::ImageDecoder& decoder() override { return decoder_; }
    // The back buffer as the present would show it; read before the present, after which a
    // discarding swap chain's back buffer holds nothing.
    const base::Image& frameAsShown() override {
        frame_ = device_->readBackBuffer();
        return frame_;
    }

private:
    HiddenD3d9() = default;
    HWND window_ = nullptr;
    std::unique_ptr<backends::d3d9::D3d9Device> device_;
    backends::win32::WicImageDecoder decoder_;
    base::Image frame_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    backends::win32::ComScope com;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(base::toUtf8(argv[i]));
    return replay::run(arguments, [] { return HiddenD3d9::create(); });
}
