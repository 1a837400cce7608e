#include "capture/frame_grab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "app/app_state.h"
#include "backends/fake/fake_shell.h"
#include "backends/fake/synthetic_screen.h"
#include "base/file_bytes.h"
#include "base/file_names.h"
#include "capture/numbered_file.h"
#include "capture/overlay_capture.h"
#include "fresh_directory.h"
#include "log_capture.h"

namespace {

namespace fs = std::filesystem;
using backends::fake::SyntheticScreen;
using base::pathFromUtf8;

std::vector<std::uint8_t> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::int32_t read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::int32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                                     (static_cast<std::uint32_t>(bytes[at + 3]) << 24));
}

// A decoded snapshot: just enough to compare pixels with the desktop they came from.
struct Snapshot {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bytes;
    std::size_t fileSize() const { return bytes.size(); }
    // 0x00RRGGBB of picture pixel (x, y), y counted from the top.
    std::uint32_t pixel(int x, int y) const {
        const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
        const std::size_t at =
            54 + static_cast<std::size_t>(height - 1 - y) * row + static_cast<std::size_t>(x) * 3;
        return (static_cast<std::uint32_t>(bytes[at + 2]) << 16) | (bytes[at + 1] << 8) | bytes[at];
    }
};

Snapshot readSnapshot(const fs::path& path) {
    Snapshot s;
    s.bytes = fileBytes(path);
    if (s.bytes.size() >= 54) {
        s.width = read32(s.bytes, 18);
        s.height = read32(s.bytes, 22);
    }
    return s;
}

std::uint32_t desktop(int x, int y) {
    return SyntheticScreen::patternAt(x, y) & 0x00FFFFFFu;
}

fs::path numbered(std::string_view name) {
    return pathFromUtf8(base::kSaveFolder) / pathFromUtf8(name);
}

fs::path grabTexture() {
    return pathFromUtf8(base::kGrabTextureFile);
}

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Grabs write into the working directory, so every case runs in a fresh one.
class Grab : public InFreshDirectory {
protected:
    void SetUp() override {
        InFreshDirectory::SetUp();
        shell.frameRect = base::Rect{100, 200, 277, 352};
        shell.clientOrigin = {4, 30};
    }
    app::AppState state;
    backends::fake::FakeShell shell;
    SyntheticScreen screen{1024, 768};
    LogCapture log;
};

TEST_F(Grab, FrameGrabStoresTheHoleInTheGrabTextureFile) {
    capture::frameGrab(state.save, shell, screen);
    const Snapshot s = readSnapshot(grabTexture());
    ASSERT_EQ(s.fileSize(), 46230u) << "grab texture file missing or of the wrong size";
    EXPECT_EQ(s.width, 138);
    EXPECT_EQ(s.height, 111);
    // The first stored row is the picture's bottom row: desktop row 237 + 110 = 347.
    EXPECT_EQ(s.pixel(0, 110), desktop(135, 347)) << "first stored row is not desktop row 347";
    EXPECT_EQ(s.pixel(0, 0), desktop(135, 237)) << "top-left is not the hole's origin";
    EXPECT_EQ(s.pixel(137, 110), desktop(272, 347)) << "bottom-right pixel is off";
    EXPECT_EQ(screen.readCount, 1) << "the screen should be read once";
    EXPECT_EQ(state.save.saveCounter, 0) << "a plain grab changed the counter";
    EXPECT_FALSE(fs::exists(pathFromUtf8(base::kSaveFolder))) << "a plain grab made the folder";

    // Moving the frame rewrites the file whole, leaving nothing else behind.
    shell.frameRect = base::Rect{0, 0, 60, 60};
    capture::frameGrab(state.save, shell, screen);
    const Snapshot moved = readSnapshot(grabTexture());
    ASSERT_EQ(moved.width, 21);
    ASSERT_EQ(moved.height, 19);
    EXPECT_EQ(moved.fileSize(), 54u + 64u * 19u) << "old content survived the replacement";
    EXPECT_EQ(moved.pixel(0, 0), desktop(35, 37));
    EXPECT_EQ(entriesIn("."), 1u) << "a temporary file was left behind";
}

TEST_F(Grab, NumberedFrameGrabFollowsTheEditBoxAndAdvancesTheCounter) {
    state.save.numberedSave = 1;
    shell.editText = "a/b";
    capture::frameGrab(state.save, shell, screen);
    EXPECT_EQ(readSnapshot(numbered("a_b0.bmp")).fileSize(), 46230u) << "first numbered file missing";
    EXPECT_EQ(state.save.saveCounter, 1);
    EXPECT_EQ(state.save.filePrefix, "a/b") << "filePrefix should keep the text as typed";
    EXPECT_EQ(state.save.lastSavedPrefix, "a_b") << "the reported prefix should match the file name";
    EXPECT_EQ(state.save.lastSavedNumber, 0);
    EXPECT_FALSE(state.save.lastSaveFailed);
    EXPECT_FALSE(fs::exists(grabTexture())) << "a numbered grab wrote the grab texture file";

    shell.editText = "";
    capture::frameGrab(state.save, shell, screen);
    EXPECT_TRUE(fs::exists(numbered("1.bmp"))) << "the prefix was not re-read from the edit box";
    EXPECT_EQ(state.save.saveCounter, 2);
}

TEST_F(Grab, OverlayCaptureReadsUnderTheOverlayAndSpendsItsNumber) {
    shell.editText = "cut";
    state.save.numberedSave = 0;  // not consulted: a capture is always numbered
    capture::overlayCapture(state.view, state.save, shell, screen);
    const Snapshot s = readSnapshot(numbered("cut0.bmp"));
    ASSERT_EQ(s.fileSize(), 7654u) << "cut0.bmp missing or of the wrong size";
    EXPECT_EQ(s.pixel(0, 0), desktop(24, 50)) << "the overlay's top-left is not at client origin + (20,20)";
    EXPECT_EQ(s.pixel(49, 49), desktop(73, 99));
    EXPECT_EQ(state.save.saveCounter, 1) << "the capture did not spend its number";
    EXPECT_EQ(state.save.lastSavedNumber, 0);
    EXPECT_FALSE(fs::exists(grabTexture())) << "a capture wrote the grab texture file";

    // Asked for a number already taken, the save keeps the file and takes the next free one.
    state.save.saveCounter = 0;
    capture::overlayCapture(state.view, state.save, shell, screen);
    EXPECT_EQ(state.save.lastSavedNumber, 1) << "an existing numbered file was not skipped";
    EXPECT_TRUE(fs::exists(numbered("cut1.bmp")));
    // Past the number used, or every later save probes all the taken numbers again.
    EXPECT_EQ(state.save.saveCounter, 2) << "the counter was left before the number used";

#ifndef _WIN32
    // A symlink named like the next file is taken, never followed.
    fs::create_symlink("../victim", numbered("cut2.bmp"));
    capture::overlayCapture(state.view, state.save, shell, screen);
    EXPECT_EQ(state.save.lastSavedNumber, 3) << "the symlink's number was not skipped";
    EXPECT_EQ(state.save.saveCounter, 4);
    EXPECT_FALSE(fs::exists("victim")) << "the save followed the symlink";
#endif
}

TEST_F(Grab, AnOverlayTooLargeToHoldIsRefusedBeforeAnyPixelIsRead) {
    state.view.overlayWidth = 65535;
    state.view.overlayHeight = 65535;
    capture::overlayCapture(state.view, state.save, shell, screen);
    EXPECT_EQ(screen.readCount, 0) << "a 65535 x 65535 rectangle was read into memory";
    EXPECT_TRUE(state.save.lastSaveFailed) << "a refused capture was reported as saved";
    EXPECT_EQ(state.save.saveCounter, 1) << "a refused capture must still spend its number";
    EXPECT_FALSE(fs::exists(numbered("0.bmp")));

    state.view.overlayWidth = 4000;  // wider than the screen, still sensible: the rest reads black
    state.view.overlayHeight = 300;
    capture::overlayCapture(state.view, state.save, shell, screen);
    EXPECT_FALSE(state.save.lastSaveFailed);
    EXPECT_EQ(readSnapshot(numbered("1.bmp")).width, 4000);
}

TEST_F(Grab, PixelsOffTheScreenAreBlack) {
    shell.frameRect = base::Rect{-100, -100, 77, 52};  // hole at (-65, -63)
    capture::frameGrab(state.save, shell, screen);
    const Snapshot frame = readSnapshot(grabTexture());
    ASSERT_EQ(frame.width, 138);
    EXPECT_EQ(frame.pixel(0, 0), 0u) << "a pixel left of and above the screen is not black";
    EXPECT_EQ(frame.pixel(64, 80), 0u) << "a pixel left of the screen is not black";
    EXPECT_EQ(frame.pixel(65, 63), desktop(0, 0)) << "the coordinates wrapped instead of staying signed";
    EXPECT_EQ(frame.pixel(137, 110), desktop(72, 47));

    shell.clientOrigin = {-30, -40};  // overlay at (-10, -20)
    capture::overlayCapture(state.view, state.save, shell, screen);
    const Snapshot overlay = readSnapshot(numbered("0.bmp"));
    ASSERT_EQ(overlay.width, 50);
    EXPECT_EQ(overlay.pixel(9, 19), 0u) << "an off-screen overlay pixel is not black";
    EXPECT_EQ(overlay.pixel(10, 20), desktop(0, 0));
}

TEST_F(Grab, NothingIsWrittenWithoutAHole) {
    shell.frameRect = base::Rect{0, 0, 39, 152};
    capture::frameGrab(state.save, shell, screen);
    shell.frameRect.reset();  // closed
    capture::frameGrab(state.save, shell, screen);
    EXPECT_EQ(screen.readCount, 0) << "the screen was read without a hole";
    EXPECT_EQ(entriesIn("."), 0u) << "a grab without a hole wrote a file";
    EXPECT_EQ(state.save.saveCounter, 0);

    // A numbered grab still spends its number and reports the failure.
    state.save.numberedSave = 1;
    shell.editText = "cut";
    shell.frameRect = base::Rect{0, 0, 177, 41};
    capture::frameGrab(state.save, shell, screen);
    const std::string said = log.take();
    EXPECT_EQ(state.save.saveCounter, 1) << "a failed numbered grab must still advance the counter";
    EXPECT_TRUE(state.save.lastSaveFailed) << "the failure was not recorded for the viewer";
    EXPECT_EQ(state.save.lastSavedNumber, 0);
    EXPECT_NE(said.find("cut0.bmp"), std::string::npos) << "stderr does not name the file: " << said;
    EXPECT_FALSE(fs::exists(numbered("cut0.bmp")));
}

TEST_F(Grab, ClosedFrameKeepsTheLastPrefix) {
    shell.editText = "cut";
    capture::overlayCapture(state.view, state.save, shell, screen);
    shell.closeFrame();
    capture::overlayCapture(state.view, state.save, shell, screen);
    EXPECT_TRUE(fs::exists(numbered("cut1.bmp"))) << "a capture after closing lost the prefix";
    EXPECT_EQ(state.save.filePrefix, "cut");
    EXPECT_FALSE(state.save.lastSaveFailed);

    state.save.numberedSave = 1;
    capture::frameGrab(state.save, shell, screen);
    EXPECT_EQ(state.save.saveCounter, 3) << "a numbered grab of a closed frame must still count";
    EXPECT_TRUE(state.save.lastSaveFailed) << "a closed frame's grab should be reported failed";
    EXPECT_EQ(state.save.lastSavedPrefix, "cut");
    EXPECT_EQ(entriesIn(pathFromUtf8(base::kSaveFolder)), 2u) << "a closed frame's grab wrote a file";
}

TEST_F(Grab, WriteFailuresAreReportedWithTheSystemsReason) {
    std::ofstream(pathFromUtf8(base::kSaveFolder)) << "not a folder";
    state.save.numberedSave = 1;
    shell.editText = "cut";
    capture::frameGrab(state.save, shell, screen);
    const std::string grabSaid = log.take();
    EXPECT_EQ(state.save.saveCounter, 1) << "the counter must advance whether or not the file was written";
    EXPECT_TRUE(state.save.lastSaveFailed);
    const std::string exists = std::error_code(EEXIST, std::generic_category()).message();
    const std::string notDir = std::error_code(ENOTDIR, std::generic_category()).message();
    EXPECT_TRUE(grabSaid.find(exists) != std::string::npos || grabSaid.find(notDir) != std::string::npos)
        << "stderr lacks the system's reason: " << grabSaid;
    capture::overlayCapture(state.view, state.save, shell, screen);
    EXPECT_NE(log.take().find(base::kSaveFolder), std::string::npos) << "a failed capture was not reported";
    EXPECT_EQ(state.save.saveCounter, 2) << "a failed capture must still spend its number";
    EXPECT_TRUE(state.save.lastSaveFailed);

    // The grab texture file cannot replace a folder of that name.
    fs::create_directory(grabTexture());
    std::ofstream(grabTexture() / "inside") << "x";
    state.save.numberedSave = 0;
    capture::frameGrab(state.save, shell, screen);
    const std::string textureSaid = log.take();
    EXPECT_EQ(textureSaid.rfind("nukitori: フィルター.bmp: ", 0), 0u)
        << "stderr does not name the file: " << textureSaid;
    EXPECT_EQ(std::count(textureSaid.begin(), textureSaid.end(), '\n'), 1) << "not one line: " << textureSaid;
    EXPECT_EQ(state.save.saveCounter, 2) << "a plain grab changed the counter";
}

}  // namespace
