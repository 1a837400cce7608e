// The floor under the program's start-up, for bench/windows/startup_and_idle_wine.py: the least
// a Direct3D 9 program does before its first frame is on the screen. A window whose client area
// is the viewer's, a device as the program makes it (5-6-5 back buffer, 16-bit depth, one
// present per refresh), a clear to the viewer's colour, a present; then it waits to be closed.
// No model, textures, fonts, controls or second window: that is what the program adds.
#include <d3d9.h>
#include <windows.h>

#include <initializer_list>

namespace {

constexpr int kWidth = 594, kHeight = 578;
constexpr D3DCOLOR kClearColour = 0xFF3CA3B9;

IDirect3DDevice9* device = nullptr;

void drawFrame() {
    if (!device) return;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColour, 1.0f, 0);
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            drawFrame();
            ValidateRect(window, nullptr);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

IDirect3DDevice9* createDevice(IDirect3D9& direct3D, HWND window) {
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = kWidth;
    parameters.BackBufferHeight = kHeight;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.hDeviceWindow = window;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    for (const D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8})
        for (const DWORD behaviour :
             {D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_SOFTWARE_VERTEXPROCESSING}) {
            parameters.BackBufferFormat = format;
            D3DPRESENT_PARAMETERS given = parameters;
            IDirect3DDevice9* made = nullptr;
            if (SUCCEEDED(direct3D.CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, behaviour, &given,
                                                &made)))
                return made;
        }
    return nullptr;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"first_frame_d3d9";
    if (!RegisterClassW(&windowClass)) return 1;
    constexpr DWORD style = WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    RECT r{0, 0, kWidth, kHeight};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    const HWND window =
        CreateWindowExW(0, windowClass.lpszClassName, L"first frame", style, CW_USEDEFAULT, CW_USEDEFAULT,
                        r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    IDirect3D9* direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!direct3D) return 1;
    device = createDevice(*direct3D, window);
    if (!device) return 1;
    drawFrame();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // As the program does: the process takes the window and the device with it.
    ExitProcess(0);
}
