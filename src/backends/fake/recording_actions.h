#pragma once
// Implements input::Actions for tests: records every call in order, with the state the callee would
// have seen. Does not: grab or capture.
#include <cstdint>
#include <vector>

#include "input/actions.h"
#include "state/save_state.h"

namespace backends::fake {

class RecordingActions final : public input::Actions {
public:
    enum class Kind { Quit, FrameGrab, OverlayCapture, UndoLastSave };

    struct Call {
        Kind kind;
        int exitCode = 0;                // Quit only
        std::int32_t saveCounter = 0;    // as seen at the call, when a state is watched
        std::uint16_t numberedSave = 0;  // as seen at the call, when a state is watched
    };

    RecordingActions() = default;
    explicit RecordingActions(const state::SaveState& watched) : watched_(&watched) {}

    void requestQuit(int exitCode) override { record(Kind::Quit, exitCode); }
    void frameGrab() override { record(Kind::FrameGrab, 0); }
    void overlayCapture() override { record(Kind::OverlayCapture, 0); }
    void undoLastSave() override { record(Kind::UndoLastSave, 0); }

    std::size_t count(Kind kind) const {
        std::size_t n = 0;
        for (const Call& call : calls)
            if (call.kind == kind) ++n;
        return n;
    }

    std::vector<Call> calls;

private:
    void record(Kind kind, int exitCode) {
        Call call{kind, exitCode};
        if (watched_) {
            call.saveCounter = watched_->saveCounter;
            call.numberedSave = watched_->numberedSave;
        }
        calls.push_back(call);
    }

    const state::SaveState* watched_ = nullptr;
};

}  // namespace backends::fake
