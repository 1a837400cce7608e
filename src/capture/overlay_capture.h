#pragma once
// The overlay capture: the screen pixels under the viewer's overlay rectangle go to the next
// numbered file, which spends a number.
#include <optional>

#include "capture/numbered_snapshot.h"
#include "platform/screen.h"
#include "platform/shell.h"
#include "state/save_state.h"
#include "state/view_state.h"

namespace capture {

// The numbered file written, if one was.
std::optional<SavedSample> overlayCapture(const state::ViewState& view, state::SaveState& save,
                                          platform::Shell& shell, platform::Screen& screen);

}  // namespace capture
