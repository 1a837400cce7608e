#pragma once
// The one way a numbered file is saved, for the numbered grabs and the overlay captures alike.
#include <cstdint>
#include <optional>
#include <string>

#include "base/os/file_stamp.h"
#include "base/image.h"
#include "base/result.h"
#include "capture/grab_geometry.h"
#include "platform/shell.h"
#include "state/save_state.h"

namespace capture {

enum class SampleKind { Capture, Grab };

// A numbered file as it was written: what the record says of it, and its stamp, by which a
// take-back knows the file is still the one saved.
struct SavedSample {
    SampleKind kind = SampleKind::Capture;
    std::string file;    // UTF-8 name inside the save folder
    std::string prefix;  // sanitized, as in the name
    std::int32_t number = 0;
    int width = 0;
    int height = 0;
    GrabRect screen;  // where on the screen the pixels came from
    base::FileStamp stamp;
};

// Takes the prefix from the frame's edit box (the last one once the frame is closed), writes
// `picture` (read from `screen`) to the next free numbered file from saveCounter on, and records
// the outcome in lastSavedPrefix (the sanitized prefix, as in the file's name), lastSavedNumber
// and lastSaveFailed. A picture that could not be had writes nothing and counts as a failure for
// its reason. Logs failures. Every save spends its number, written or not, so the counter tracks
// the presses; a save that skipped taken numbers leaves it after the number it used. Gives the
// file written, if one was.
std::optional<SavedSample> saveNumberedSnapshot(state::SaveState& save, platform::Shell& shell,
                                                const base::Result<base::Image>& picture, SampleKind kind,
                                                const GrabRect& screen);

}  // namespace capture
