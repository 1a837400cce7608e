#pragma once
// The key poll: run once per idle pass, it reads every key it knows and changes the state.
#include "input/actions.h"
#include "platform/keyboard.h"
#include "state/save_state.h"
#include "state/view_state.h"

namespace input {

// Reads the keys in a fixed order and applies each key's step and clamp; the order is part of
// the behaviour (clamps see the moves before them, sideways moves see the old heading).
// May request quit, run frame grabs and overlay captures; none of them stops the poll.
void pollKeyboard(state::ViewState& view, state::SaveState& save, platform::Keyboard& keyboard,
                  input::Actions& actions);

}  // namespace input
