#pragma once
// The frame grab: the desktop pixels in the capture frame's hole go to the grab texture file,
// or to the next numbered file while numberedSave is set (which spends a number). The caller
// reloads the model.
#include <optional>

#include "base/image.h"
#include "base/result.h"
#include "capture/numbered_snapshot.h"
#include "platform/screen.h"
#include "platform/shell.h"
#include "state/save_state.h"

namespace capture {

// The numbered file written, if the grab wrote one.
std::optional<SavedSample> frameGrab(state::SaveState& save, platform::Shell& shell,
                                     platform::Screen& screen);

}  // namespace capture
