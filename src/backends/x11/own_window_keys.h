#pragma once
// Which physical keys our own windows have seen held, from their key events, for the key poll.
// A press that is released again before the next poll (a quick tap, or one made while the
// program was busy starting) still counts as held for that one poll, so it is never lost.
#include <bitset>
#include <cstddef>

namespace backends::x11 {

class OwnWindowKeys {
public:
    static constexpr std::size_t kKeys = 256;

    void keyEvent(std::size_t key, bool pressed) {
        if (key >= kKeys) return;
        down_.set(key, pressed);
        if (pressed) pressedSincePoll_.set(key);
    }
    // Our windows no longer get the keys: nothing counts as held through them.
    void focusLost() {
        down_.reset();
        pressedSincePoll_.reset();
    }
    // Called once at the start of every poll.
    void startPoll() {
        pressedForPoll_ = pressedSincePoll_;
        pressedSincePoll_.reset();
    }
    bool isHeld(std::size_t key) const {
        return key < kKeys && (down_.test(key) || pressedForPoll_.test(key));
    }
    bool anyHeld() const { return down_.any() || pressedForPoll_.any() || pressedSincePoll_.any(); }

private:
    std::bitset<kKeys> down_;
    std::bitset<kKeys> pressedSincePoll_;
    std::bitset<kKeys> pressedForPoll_;
};

}  // namespace backends::x11
