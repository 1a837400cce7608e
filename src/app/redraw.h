#pragma once
// Whether the next frame would differ from the one on the screen. The loop polls the keys every
// display period but draws only then, so an untouched viewer costs nothing.
#include <cstdint>
#include <optional>
#include <string>

#include "state/save_state.h"
#include "state/view_state.h"

namespace app {

class RedrawDecision {
public:
    // Something outside the values changed the picture: the viewer was exposed or resized, its
    // surface was lost, or a model or texture was (re)loaded.
    void invalidate() { invalid_ = true; }

    // Asked once per pass, after the key poll: whether the values or the surroundings differ
    // from those of the last frame drawn.
    bool changed(const state::ViewState& view, const state::SaveState& save) const;
    // The frame places the camera after drawing the model, so a change of the camera shows in
    // the frame after the one it was made in: every changed frame is followed by one more.
    bool settling() const { return settling_; }

    // Called after a frame was drawn; `view` as the frame left it.
    void drawn(const state::ViewState& view, const state::SaveState& save, bool changed);

private:
    // What the frame shows of the saves: the line about the last numbered file.
    struct SavedLine {
        bool shown = false;
        std::string prefix;
        std::int32_t number = 0;
        bool failed = false;
        std::string undone;
        bool undoRefused = false;
        friend bool operator==(const SavedLine&, const SavedLine&) = default;
    };
    static SavedLine savedLine(const state::SaveState& save);

    bool invalid_ = true;
    bool settling_ = false;
    std::optional<state::ViewState> lastView_;
    SavedLine lastLine_;
};

}  // namespace app
