#pragma once
// The one way a numbered file is saved, for the numbered grabs and the overlay captures alike.
#include "base/image.h"
#include "base/result.h"
#include "platform/shell.h"
#include "state/save_state.h"

namespace capture {

// Takes the prefix from the frame's edit box (the last one once the frame is closed), writes
// `picture` to the next free numbered file from saveCounter on, and records the outcome in
// lastSavedPrefix (the sanitized prefix, as in the file's name), lastSavedNumber and
// lastSaveFailed. A picture that could not be had writes nothing and counts as a failure for its
// reason. Logs failures. Every save spends its number, written or not, so the counter tracks the
// presses.
void saveNumberedSnapshot(state::SaveState& save, platform::Shell& shell,
                          const base::Result<base::Image>& picture);

}  // namespace capture
