#include "capture/numbered_snapshot.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/log.h"
#include "capture/bmp_snapshot.h"
#include "capture/numbered_file.h"

namespace capture {

std::optional<SavedSample> saveNumberedSnapshot(state::SaveState& save, platform::Shell& shell,
                                                const base::Result<base::Image>& picture, SampleKind kind,
                                                const GrabRect& screen) {
    if (std::optional<std::string> text = shell.frameEditText()) save.filePrefix = std::move(*text);
    const std::string prefix = sanitizePrefix(save.filePrefix);
    save.lastSavedPrefix = prefix;
    save.lastSavedNumber = save.saveCounter;
    save.lastSaveFailed = true;
    save.savedSincePrefixChange = true;
    save.lastUndone.clear();
    save.lastUndoRefused = false;
    const std::int32_t number = save.saveCounter;
    state::advanceSaveCounter(save);

    if (!picture) {
        base::logLine("nukitori: " + numberedPath(prefix, number) + ": " + picture.error());
        return std::nullopt;
    }
    const std::vector<std::uint8_t> bytes = encodeBmpSnapshot(*picture);
    if (bytes.empty()) {
        base::logLine("nukitori: " + numberedPath(prefix, number) + ": picture too large for a BMP file");
        return std::nullopt;
    }
    const NumberedSave saved = saveNumbered(bytes, prefix, number);
    // Past the number actually used: the numbers skipped were taken, and the next save would
    // only probe them all again, more of them the fuller the folder.
    save.saveCounter = saved.number;
    state::advanceSaveCounter(save);
    save.lastSavedNumber = saved.number;
    save.lastSaveFailed = !saved.written;
    if (!saved.written) {
        base::logLine("nukitori: " + saved.path + ": " + saved.written.error());
        return std::nullopt;
    }
    const std::string file = saved.path.substr(saved.path.rfind('/') + 1);
    return SavedSample{kind,           file,
                       prefix,         saved.number,
                       picture->width, picture->height,
                       screen,         base::fileStamp(saved.path)};
}

}  // namespace capture
