#pragma once
// The loop's rhythm, the same in every shell: one key poll per display period (60 Hz), and the
// capture frame raised above the other windows every 30 passes where nothing else keeps it on
// top. The waiting itself is the window system's: the shell waits until deadline(), handling
// the window events that come meanwhile.
#include <algorithm>
#include <chrono>

namespace platform {

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kPeriod = std::chrono::microseconds(16667);
    static constexpr int kPassesPerRaise = 30;

    // Counts one pass; true on every 30th, which should raise the frame.
    bool raiseDue() {
        if (++passes_ < kPassesPerRaise) return false;
        passes_ = 0;
        return true;
    }
    // When the next poll is due.
    Clock::time_point deadline() const { return next_; }
    // The wait ended at `now`. The next poll is one period after the later of the two, so a pass
    // that ran late is not followed by a burst of catch-up passes.
    void waited(Clock::time_point now) { next_ = std::max(now, next_) + kPeriod; }

private:
    Clock::time_point next_{};
    int passes_ = 0;
};

}  // namespace platform
