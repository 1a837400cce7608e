// The overlay capture on the real Windows screen reads: it should cost at most 1.5 times a bare
// BitBlt of the same rectangle plus a bare write of the same file's bytes, all three measured
// in the same run. The capture runs through the core (capture::overlayCapture) with the real
// Win32Screen and the shell double giving the rectangle, as the Linux capture bench does.
// Needs a desktop (Wine on an X server: bench/run_windows starts Xvfb).
// Everything is written in a fresh temporary folder, removed at the end.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <system_error>
#include <vector>

#include "app/app_state.h"
#include "backends/fake/fake_shell.h"
#include "backends/win32/win32_screen.h"
#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/image.h"
#include "capture/bmp_snapshot.h"
#include "capture/grab_geometry.h"
#include "capture/numbered_file.h"
#include "capture/overlay_capture.h"
#include "timing.h"

namespace {

namespace fs = std::filesystem;

fs::path saveFolder() {
    return base::pathFromUtf8(base::kSaveFolder);
}

// The save folder emptied and made again, so that no case pays for making it.
void emptySaveFolder() {
    std::error_code ec;
    fs::remove_all(saveFolder(), ec);
    fs::create_directories(saveFolder(), ec);
}

// The floor under any screen read: one BitBlt from the screen DC into a DIB section made once,
// with the device contexts kept, and the flush that makes the pixels readable.
class BareBitBlt {
public:
    BareBitBlt(int x, int y, int width, int height) : x_(x), y_(y), width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        screen_ = GetDC(nullptr);
        memory_ = CreateCompatibleDC(screen_);
        dib_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (memory_ && dib_) previous_ = SelectObject(memory_, dib_);
    }
    ~BareBitBlt() {
        if (spare_) DeleteObject(spare_);
        if (previous_) SelectObject(memory_, previous_);
        if (dib_) DeleteObject(dib_);
        if (memory_) DeleteDC(memory_);
        if (screen_) ReleaseDC(nullptr, screen_);
    }
    BareBitBlt(const BareBitBlt&) = delete;
    BareBitBlt& operator=(const BareBitBlt&) = delete;

    bool ready() const { return screen_ && memory_ && dib_ && previous_; }
    void operator()() {
        if (!BitBlt(memory_, 0, 0, width_, height_, screen_, x_, y_, SRCCOPY | CAPTUREBLT)) ++failures;
        GdiFlush();
    }
    // A DIB section of the same size for other copies, not selected anywhere.
    HBITMAP spareDib() {
        if (!spare_) {
            BITMAPINFO info{};
            info.bmiHeader = {sizeof(BITMAPINFOHEADER), width_, -height_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
            void* bits = nullptr;
            spare_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        }
        return spare_;
    }
    long failures = 0;

private:
    int x_, y_, width_, height_;
    HDC screen_ = nullptr;
    HDC memory_ = nullptr;
    HBITMAP dib_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    HBITMAP spare_ = nullptr;
};

// The same BitBlt with the device contexts made and released around it, as a read that keeps
// none does: where a read's time goes beyond the bare copy.
void bitBltWithFreshDcs(int x, int y, int width, int height, HBITMAP dib, long& failures) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HGDIOBJ previous = SelectObject(memory, dib);
    if (!BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY | CAPTUREBLT)) ++failures;
    GdiFlush();
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// The plainest write of `bytes` to a new file in the save folder: create, write, close; and,
// for comparison, the same with the flush to the disk that the program's writes add.
class BareWrite {
public:
    BareWrite(std::vector<std::uint8_t> bytes, bool flush) : bytes_(std::move(bytes)), flush_(flush) {}
    void operator()() {
        const fs::path path = saveFolder() / (L"bare" + std::to_wstring(next_++) + L".bmp");
        const HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            ++failures;
            return;
        }
        DWORD written = 0;
        if (!WriteFile(file, bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr) ||
            written != bytes_.size())
            ++failures;
        if (flush_ && !FlushFileBuffers(file)) ++failures;
        CloseHandle(file);
    }
    long failures = 0;

private:
    std::vector<std::uint8_t> bytes_;
    bool flush_;
    long next_ = 0;
};

// The overlay at (6, 0) of a viewer whose client area starts at (4, 20): the screen rectangle
// (10, 20, width, height), as in the Linux bench.
struct Capture {
    Capture(int width, int height) {
        shell.clientOrigin = {4, 20};
        shell.editText = "bench";
        state.view.overlayX = 6;
        state.view.overlayY = 0;
        state.view.overlayWidth = static_cast<std::uint16_t>(width);
        state.view.overlayHeight = static_cast<std::uint16_t>(height);
    }
    capture::GrabRect rect() const {
        return capture::overlayRect(shell.clientOrigin, state.view.overlayX, state.view.overlayY,
                                    state.view.overlayWidth, state.view.overlayHeight);
    }
    void operator()() {
        capture::overlayCapture(state.view, state.save, shell, screen);
        if (state.save.lastSaveFailed) ++failures;
        ++state.save.saveCounter;  // as after the capture button
    }
    void cleanUp() {
        emptySaveFolder();
        state.save.saveCounter = 0;
    }
    backends::win32::Win32Screen screen;
    backends::fake::FakeShell shell;
    app::AppState state;
    long failures = 0;
};

std::string failuresText(long failures, const char* what) {
    return failures ? std::to_string(failures) + " " + what + " failed" : std::string{};
}

bool runSize(int width, int height, const bench::Options& options) {
    Capture capture(width, height);
    const capture::GrabRect r = capture.rect();
    BareBitBlt bitblt(r.x, r.y, r.width, r.height);
    if (!bitblt.ready()) {
        bench::Group::fail("cannot make the screen DC, memory DC or DIB section");
        return false;
    }
    // The bytes of the file the capture writes: a picture of the same size.
    const std::vector<std::uint8_t> bytes = capture::encodeBmpSnapshot(base::Image(width, height));
    BareWrite write(bytes, false);
    BareWrite writeFlushed(bytes, true);
    // Files are deleted between batches, outside the timing, so the folder never grows large.
    constexpr long kBatch = 32;
    const auto cleanUp = [&] { emptySaveFolder(); };

    bench::Group group("capture " + std::to_string(width) + " x " + std::to_string(height) +
                           ": overlay capture against a bare BitBlt and a bare write (wall time)",
                       options);
    group.add("bitblt", [&] { bitblt(); }).check = [&] { return failuresText(bitblt.failures, "BitBlts"); };
    for (auto* bare : {&write, &writeFlushed}) {
        bench::Case& c = group.add(bare == &write ? "write" : "writeFlushed", [bare] { (*bare)(); });
        c.before = c.betweenBatches = cleanUp;
        c.maxBatch = kBatch;
        c.check = [bare] { return failuresText(bare->failures, "writes"); };
    }
    group.add("screenRead", [&] { bench::keep(capture.screen.read(r.x, r.y, r.width, r.height)); });
    // The parts of a capture, to show where its time goes.
    long freshFailures = 0;
    group
        .add("bitbltFreshDcs",
             [&] { bitBltWithFreshDcs(r.x, r.y, r.width, r.height, bitblt.spareDib(), freshFailures); })
        .check = [&] { return failuresText(freshFailures, "BitBlts"); };
    // The read asks for the virtual screen's rectangle every time, to clip to it.
    group.add("virtualScreenRect", [] {
        for (const int metric :
             {SM_XVIRTUALSCREEN, SM_YVIRTUALSCREEN, SM_CXVIRTUALSCREEN, SM_CYVIRTUALSCREEN})
            bench::keep(GetSystemMetrics(metric));
    });
    const base::Image picture(width, height, 0xFF808080u);
    group.add("encodeBmp", [&] { bench::keep(capture::encodeBmpSnapshot(picture)); });
    std::int32_t saved = 0;
    long saveFailures = 0;
    bench::Case& save = group.add("saveNumbered", [&] {
        if (!capture::saveNumbered(bytes, "bench", saved++).written) ++saveFailures;
    });
    save.before = save.betweenBatches = [&] {
        emptySaveFolder();
        saved = 0;
    };
    save.maxBatch = kBatch;
    save.check = [&] { return failuresText(saveFailures, "numbered saves"); };
    bench::Case& captures = group.add("overlayCapture", [&] { capture(); });
    captures.before = captures.betweenBatches = [&] { capture.cleanUp(); };
    captures.maxBatch = kBatch;
    captures.check = [&] {
        if (capture.failures) return failuresText(capture.failures, "captures");
        // One more, looked at: the file must hold the whole rectangle.
        capture();
        std::error_code ec;
        const auto size = fs::file_size(base::pathFromUtf8(capture::numberedPath("bench", 0)), ec);
        capture.cleanUp();
        return size == bytes.size() ? std::string{} : std::string("the capture file has the wrong size");
    };
    group.run();
    group.ratio("overlayCapture", {"bitblt", "write"}, bench::Metric::Wall, 1.5);
    group.ratio("overlayCapture", {"bitblt", "writeFlushed"}, bench::Metric::Wall, std::nullopt,
                "the program's writes reach the disk before the file takes its name");
    group.ratio("screenRead", {"bitblt"}, bench::Metric::Wall, std::nullopt,
                "the read: DCs per read, the clip to the virtual screen, the copy into the picture");
    group.ratio("bitbltFreshDcs", {"bitblt"}, bench::Metric::Wall, std::nullopt,
                "the same copy with the screen and memory DCs made for it");
    group.ratio("screenRead", {"bitbltFreshDcs", "virtualScreenRect"}, bench::Metric::Wall, std::nullopt,
                "the read against its calls; the rest is the copy into the picture");
    group.ratio("saveNumbered", {"write"}, bench::Metric::Wall, std::nullopt,
                "the numbered file: temporary, flush, hard link, removal");
    group.ratio("overlayCapture", {"screenRead", "encodeBmp", "saveNumbered"}, bench::Metric::Wall,
                std::nullopt, "the capture against its parts");
    return !group.targetMissed();
}

}  // namespace

int main(int argc, char** argv) {
    bench::Options options;
    if (!bench::parseOptions(argc, argv, options)) return 2;
    // Every coordinate a physical pixel, as the program's manifest declares.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    std::error_code ec;
    const fs::path folder =
        fs::temp_directory_path(ec) / ("nukitori-capture-bench-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder, ec);
    if (!ec) fs::current_path(folder, ec);
    if (ec) {
        std::fprintf(stderr, "capture_win32_bench: cannot work in %s: %s\n", folder.string().c_str(),
                     ec.message().c_str());
        return 1;
    }
    std::printf("capture_win32_bench: screen %d x %d, working in %s\n", GetSystemMetrics(SM_CXVIRTUALSCREEN),
                GetSystemMetrics(SM_CYVIRTUALSCREEN), folder.string().c_str());

    bool met = true;
    met &= runSize(50, 50, options);
    met &= runSize(594, 578, options);

    fs::current_path(fs::temp_directory_path(ec), ec);
    fs::remove_all(folder, ec);
    std::printf("\ncapture_win32_bench: %s\n", bench::Group::problems() ? "PROBLEMS, see above"
                                               : met                    ? "every target met"
                                                                        : "a target was NOT MET");
    return bench::Group::problems() ? 1 : 0;
}
