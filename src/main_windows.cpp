// nukitori on Windows: Win32 windows and controls, key state, GDI screen reads and WIC
// decoding, Direct3D 9 graphics. Per-monitor DPI awareness comes from the embedded manifest,
// so every coordinate is a physical pixel.
#include <objbase.h>
#include <windows.h>

#include <string>
#include <string_view>

#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "app/app.h"
#include "app/command_line.h"
#include "app/work_folder.h"
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

// Writes UTF-8 `text` to `stream`: as UTF-16 to a console, as bytes to a file or pipe.
void writeTo(HANDLE stream, std::string_view text) {
    DWORD written = 0;
    DWORD mode = 0;
    if (GetConsoleMode(stream, &mode)) {
        const std::wstring wide = base::toUtf16(text);
        WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool usable(HANDLE stream) {
    return stream && stream != INVALID_HANDLE_VALUE;
}

// One line to the debugger and to stderr.
void writeLine(std::string_view line) {
    const std::string text = std::string(line) + "\n";
    OutputDebugStringW(base::toUtf16(text).c_str());
    if (const HANDLE stream = GetStdHandle(STD_ERROR_HANDLE); usable(stream)) writeTo(stream, text);
}

// Text for a person at the prompt that started us: to our standard stream when it leads
// somewhere (a pipe, a file, a console), else to the parent's console, else in a message box
// (a start from Explorer or a shortcut has neither).
void tell(DWORD which, const std::string& text, UINT boxStyle) {
    HANDLE stream = GetStdHandle(which);
    if (!usable(stream) && AttachConsole(ATTACH_PARENT_PROCESS))
        stream = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (usable(stream)) {
        writeTo(stream, text);
        return;
    }
    MessageBoxW(nullptr, base::toUtf16(text).c_str(), L"nukitori", boxStyle);
}

// The words after the program's name, in UTF-8.
std::vector<std::string> commandWords() {
    std::vector<std::string> words;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!list) return words;
    for (int i = 1; i < count; ++i) words.push_back(base::toUtf8(list[i]));
    LocalFree(list);
    return words;
}

// The user's Pictures folder, wherever they moved it; empty when the system does not tell.
std::string picturesFolder() {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Pictures, KF_FLAG_CREATE, nullptr, &path)))
        folder = base::toUtf8(path);
    CoTaskMemFree(path);
    return folder;
}

// The folder nukitori.exe is in, where the installer puts the sample files.
std::string programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return base::toUtf8(path.substr(0, path.find_last_of(L"\\/")));
}

// The Start menu's shortcut says --menu: it names no folder of the user's choosing, so the
// program works in Pictures\nukitori, seeded from its own folder.
base::Status enterMenuWorkFolder() {
    const std::string pictures = picturesFolder();
    if (pictures.empty()) return base::Failure{"the system does not tell where the Pictures folder is"};
    return app::enterPicturesWorkFolder(pictures, programFolder());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    base::setLogSink(writeLine);

    const std::vector<std::string> words = commandWords();
    const std::vector<std::string_view> arguments(words.begin(), words.end());
    const app::CommandLine command = app::parseCommandLine(arguments);
    switch (command.action) {
        case app::CommandLine::Action::ShowHelp:
            tell(STD_OUTPUT_HANDLE, app::helpText(), MB_OK | MB_ICONINFORMATION);
            return 0;
        case app::CommandLine::Action::ShowVersion:
            tell(STD_OUTPUT_HANDLE, app::versionText(NUKITORI_VERSION) + "\n", MB_OK | MB_ICONINFORMATION);
            return 0;
        case app::CommandLine::Action::Misuse:
            tell(STD_ERROR_HANDLE, "nukitori: " + command.problem + "; " + std::string(app::kUsage) + "\n",
                 MB_OK | MB_ICONERROR);
            return 2;
        case app::CommandLine::Action::Run:
            break;
    }
    if (!command.workFolder.empty() || command.menuStart) {
        const base::Status entered =
            command.menuStart ? enterMenuWorkFolder() : app::enterWorkFolder(command.workFolder);
        if (!entered) {
            tell(STD_ERROR_HANDLE, "nukitori: " + entered.error() + "\n", MB_OK | MB_ICONERROR);
            return 1;
        }
    }

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
