#pragma once
// The frame grab: the desktop pixels in the capture frame's hole go to the grab texture file,
// or to the next numbered file while numberedSave is set. The caller reloads the model.
#include "state/save_state.h"
#include "base/image.h"
#include "base/result.h"
#include "platform/screen.h"
#include "platform/shell.h"

namespace capture {

void frameGrab(state::SaveState& save, platform::Shell& shell, platform::Screen& screen);

// Shared with the overlay capture: takes the prefix from the frame's edit box (the last one
// once the frame is closed), writes `picture` to the next free numbered file from saveCounter
// on, and records the outcome in lastSavedPrefix (the sanitized prefix, as in the file's
// name), lastSavedNumber and lastSaveFailed. A picture that could not be had writes nothing
// and counts as a failure for its reason. Logs failures; leaves saveCounter alone.
void saveNumberedSnapshot(state::SaveState& save, platform::Shell& shell,
                          const base::Result<base::Image>& picture);

}  // namespace capture
