// nukitori on Windows: Win32 windows and controls, key state, GDI screen reads and WIC
// decoding, Direct3D 9 graphics. Per-monitor DPI awareness comes from the embedded manifest,
// so every coordinate is a physical pixel.
#include <objbase.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "app/app.h"
#include "backends/d3d9/d3d9_device.h"
#include "backends/win32/com_scope.h"
#include "backends/win32/gdi_text_painter.h"
#include "backends/win32/wic_image_decoder.h"
#include "backends/win32/win32_keyboard.h"
#include "backends/win32/win32_screen.h"
#include "backends/win32/win32_shell.h"
#include "base/log.h"
#include "base/os/windows_text.h"

namespace {

// One line to the debugger and to stderr: UTF-16 to a console, UTF-8 bytes to a file or pipe.
void writeLine(std::string_view line) {
    const std::wstring wide = base::toUtf16(line) + L"\n";
    OutputDebugStringW(wide.c_str());
    const HANDLE stream = GetStdHandle(STD_ERROR_HANDLE);
    if (!stream || stream == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    DWORD mode = 0;
    if (GetConsoleMode(stream, &mode)) {
        WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::string bytes(line);
    bytes += '\n';
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    base::setLogSink(writeLine);
    const backends::win32::ComScope com;

    backends::win32::WicImageDecoder decoder;
    backends::win32::Win32Shell shell;
    backends::win32::Win32Keyboard keyboard;
    backends::win32::Win32Screen screen;
    int exitCode = 1;
    {
        // The Direct3D 9 device on the shell's viewer window, its texts painted by GDI.
        app::App app(
            {shell, keyboard, screen, decoder,
             backends::d3d9::deviceFactory([&shell] { return shell.viewerWindow(); },
                                           [] { return std::make_unique<backends::win32::GdiTextPainter>(); },
                                           [&shell] { shell.repaintViewer(); })});
        if (const auto started = app.startUp(); started) {
            exitCode = app.run();
        } else {
            writeLine("nukitori: " + started.error());
        }
        // The device goes here, with its driver's threads, so that nothing is still drawing
        // while the process ends.
    }
    // The windows and COM go with the process, which the system reclaims at once; destroying
    // the windows one by one would make Wine without a window manager wait two seconds for each.
    ExitProcess(static_cast<UINT>(exitCode));
}
