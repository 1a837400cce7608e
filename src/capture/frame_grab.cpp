#include "capture/frame_grab.h"

#include <cstdint>
#include <iostream>

#include "capture/bmp_snapshot.h"
#include "capture/grab_geometry.h"
#include "capture/numbered_file.h"
#include "capture/safe_file.h"

namespace capture {

void saveNumberedSnapshot(app::AppState& state, platform::Shell& shell, const render::Image& image,
                          std::string_view emptyReason) {
    if (std::optional<std::string> text = shell.frameEditText()) state.filePrefix = std::move(*text);
    const std::string prefix = sanitizePrefix(state.filePrefix);
    state.lastSavedPrefix = prefix;
    state.lastSavedNumber = state.saveCounter;
    state.lastSaveFailed = true;

    if (image.empty()) {
        std::cerr << numberedPath(prefix, state.saveCounter) << ": " << emptyReason << '\n';
        return;
    }
    const std::vector<std::uint8_t> bytes = encodeBmpSnapshot(image);
    if (bytes.empty()) {
        std::cerr << numberedPath(prefix, state.saveCounter) << ": picture too large for a BMP file\n";
        return;
    }
    const SaveResult result = saveNumbered(bytes, prefix, state.saveCounter);
    state.lastSavedNumber = result.numberUsed;
    state.lastSaveFailed = !result.ok;
    if (!result.ok) std::cerr << result.path << ": " << result.error << '\n';
}

void frameGrab(app::AppState& state, platform::Shell& shell, platform::Screen& screen) {
    render::Image image;
    std::string_view emptyReason = "the capture frame is closed";
    if (const std::optional<platform::Rect> window = shell.frameWindowRect()) {
        const GrabRect hole = frameHoleRect(*window);
        emptyReason = hole.empty() ? "the capture frame is too small to have a hole"
                                   : "the capture frame is too large to save";
        // Only the hole is read: buffers follow the picture's size, not the screen's.
        if (snapshotSizeAllowed(hole.width, hole.height))
            image = screen.read(hole.x, hole.y, hole.width, hole.height);
    }

    if (state.numberedSave != 0) {
        saveNumberedSnapshot(state, shell, image, emptyReason);
        // One number per numbered grab, written or not, so the counter tracks the presses.
        state.saveCounter = static_cast<std::int32_t>(static_cast<std::uint32_t>(state.saveCounter) + 1u);
        return;
    }

    // The grab texture file is rewritten on every drag and resize; with no hole there is
    // nothing new to show, and the last good picture stays.
    if (image.empty()) return;
    const std::vector<std::uint8_t> bytes = encodeBmpSnapshot(image);
    if (bytes.empty()) return;
    const FileWriteResult result = writeFileAtomically(pathFromUtf8(kGrabTextureFileName), bytes);
    if (!result.ok()) std::cerr << kGrabTextureFileName << ": " << result.error << '\n';
}

}  // namespace capture
