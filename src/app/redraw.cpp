#include "app/redraw.h"

namespace app {

RedrawDecision::SavedLine RedrawDecision::savedLine(const state::SaveState& save) {
    if (!state::showsSavedLine(save)) return {};
    return {true,
            save.lastSavedPrefix,
            save.lastSavedNumber,
            save.lastSaveFailed,
            save.lastUndone,
            save.lastUndoRefused};
}

bool RedrawDecision::changed(const state::ViewState& view, const state::SaveState& save) const {
    if (invalid_ || !lastView_) return true;
    // Steps move or turn the model while the frame is drawn, whatever else holds still.
    if (view.modelSpinX != 0.0f || view.modelSpinY != 0.0f || view.modelSpinZ != 0.0f ||
        view.modelWalkStep != 0.0f)
        return true;
    return !(view == *lastView_) || !(savedLine(save) == lastLine_);
}

void RedrawDecision::drawn(const state::ViewState& view, const state::SaveState& save, bool changed) {
    settling_ = changed;
    invalid_ = false;
    lastView_ = view;
    lastLine_ = savedLine(save);
}

}  // namespace app
