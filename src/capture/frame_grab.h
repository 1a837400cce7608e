#pragma once
// The frame grab: the desktop pixels in the capture frame's hole go to the grab texture file,
// or to the next numbered file while numberedSave is set (which spends a number). The caller
// reloads the model.
#include "base/image.h"
#include "base/result.h"
#include "platform/screen.h"
#include "platform/shell.h"
#include "state/save_state.h"

namespace capture {

void frameGrab(state::SaveState& save, platform::Shell& shell, platform::Screen& screen);

}  // namespace capture
