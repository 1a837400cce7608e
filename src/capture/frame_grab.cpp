#include "capture/frame_grab.h"

#include <cstdint>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/log.h"
#include "base/safe_file.h"
#include "capture/bmp_snapshot.h"
#include "capture/grab_geometry.h"
#include "capture/numbered_snapshot.h"

namespace capture {

std::optional<SavedSample> frameGrab(state::SaveState& save, platform::Shell& shell,
                                     platform::Screen& screen) {
    base::Result<base::Image> picture = base::Failure{"the capture frame is closed"};
    bool screenRead = false;
    GrabRect hole;
    if (const std::optional<base::Rect> window = shell.frameWindowRect()) {
        hole = frameHoleRect(*window);
        picture = base::Failure{hole.empty() ? "the capture frame is too small to have a hole"
                                             : "the capture frame is too large to save"};
        // Only the hole is read: buffers follow the picture's size, not the screen's.
        if (snapshotSizeAllowed(hole.width, hole.height)) {
            picture = screen.read(hole.x, hole.y, hole.width, hole.height);
            screenRead = true;
        }
    }

    if (save.numberedSave != 0) return saveNumberedSnapshot(save, shell, picture, SampleKind::Grab, hole);

    // The grab texture file is rewritten on every drag and resize; with no hole there is
    // nothing new to show, and the last good picture stays. So it does when the screen
    // cannot be read; stderr then says why.
    if (!picture) {
        if (screenRead) base::logLine("nukitori: " + std::string(base::kGrabTextureFile) + ": " + picture.error());
        return std::nullopt;
    }
    const std::vector<std::uint8_t> bytes = encodeBmpSnapshot(*picture);
    if (bytes.empty()) return std::nullopt;
    // Rewritten at every grab, up to once a frame: waiting for the disk would slow held keypad 5
    // down to the disk's pace, and the next grab writes the file again.
    const base::Status written = base::writeFileAtomically(base::pathFromUtf8(base::kGrabTextureFile), bytes,
                                                           base::Durability::Scratch);
    if (!written) base::logLine("nukitori: " + std::string(base::kGrabTextureFile) + ": " + written.error());
    return std::nullopt;
}

}  // namespace capture
