#include "capture/frame_grab.h"

#include <cstdint>

#include "base/log.h"
#include "capture/bmp_snapshot.h"
#include "capture/grab_geometry.h"
#include "capture/numbered_file.h"
#include "capture/safe_file.h"

namespace capture {

void saveNumberedSnapshot(state::SaveState& state, platform::Shell& shell,
                          const base::Result<base::Image>& picture) {
    if (std::optional<std::string> text = shell.frameEditText()) state.filePrefix = std::move(*text);
    const std::string prefix = sanitizePrefix(state.filePrefix);
    state.lastSavedPrefix = prefix;
    state.lastSavedNumber = state.saveCounter;
    state.lastSaveFailed = true;

    if (!picture) {
        base::logLine(numberedPath(prefix, state.saveCounter) + ": " + picture.error());
        return;
    }
    const std::vector<std::uint8_t> bytes = encodeBmpSnapshot(*picture);
    if (bytes.empty()) {
        base::logLine(numberedPath(prefix, state.saveCounter) + ": picture too large for a BMP file");
        return;
    }
    const SaveResult result = saveNumbered(bytes, prefix, state.saveCounter);
    state.lastSavedNumber = result.numberUsed;
    state.lastSaveFailed = !result.ok;
    if (!result.ok) base::logLine(result.path + ": " + result.error);
}

void frameGrab(state::SaveState& state, platform::Shell& shell, platform::Screen& screen) {
    base::Result<base::Image> picture = base::Failure{"the capture frame is closed"};
    bool screenRead = false;
    if (const std::optional<base::Rect> window = shell.frameWindowRect()) {
        const GrabRect hole = frameHoleRect(*window);
        picture = base::Failure{hole.empty() ? "the capture frame is too small to have a hole"
                                             : "the capture frame is too large to save"};
        // Only the hole is read: buffers follow the picture's size, not the screen's.
        if (snapshotSizeAllowed(hole.width, hole.height)) {
            picture = screen.read(hole.x, hole.y, hole.width, hole.height);
            screenRead = true;
        }
    }

    if (state.numberedSave != 0) {
        saveNumberedSnapshot(state, shell, picture);
        // One number per numbered grab, written or not, so the counter tracks the presses.
        state::advanceSaveCounter(state);
        return;
    }

    // The grab texture file is rewritten on every drag and resize; with no hole there is
    // nothing new to show, and the last good picture stays. So it does when the screen
    // cannot be read; stderr then says why.
    if (!picture) {
        if (screenRead) base::logLine(std::string(kGrabTextureFileName) + ": " + picture.error());
        return;
    }
    const std::vector<std::uint8_t> bytes = encodeBmpSnapshot(*picture);
    if (bytes.empty()) return;
    const FileWriteResult result = writeFileAtomically(pathFromUtf8(kGrabTextureFileName), bytes);
    if (!result.ok()) base::logLine(std::string(kGrabTextureFileName) + ": " + result.error);
}

}  // namespace capture
