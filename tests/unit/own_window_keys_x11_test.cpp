#include <gtest/gtest.h>

#include "backends/x11/own_window_keys.h"

namespace {

TEST(OwnWindowKeys, AKeyIsHeldFromPressToReleaseAndATapBetweenPollsCountsOnce) {
    backends::x11::OwnWindowKeys keys;
    keys.startPoll();
    EXPECT_FALSE(keys.isHeld(9));

    keys.keyEvent(9, true);
    keys.startPoll();
    EXPECT_TRUE(keys.isHeld(9)) << "a held key";
    keys.startPoll();
    EXPECT_TRUE(keys.isHeld(9)) << "still held in the next poll";
    keys.keyEvent(9, false);
    keys.startPoll();
    EXPECT_FALSE(keys.isHeld(9)) << "released before the poll";

    // Pressed and released between two polls: held for exactly one poll.
    keys.keyEvent(36, true);
    keys.keyEvent(36, false);
    EXPECT_FALSE(keys.isHeld(36)) << "the tap shows only from the next poll on";
    keys.startPoll();
    EXPECT_TRUE(keys.isHeld(36)) << "a quick tap was lost";
    keys.startPoll();
    EXPECT_FALSE(keys.isHeld(36)) << "a tap counted in more than one poll";
}

TEST(OwnWindowKeys, LosingTheFocusForgetsHeldAndTappedKeys) {
    backends::x11::OwnWindowKeys keys;
    keys.keyEvent(50, true);
    keys.keyEvent(62, true);
    keys.keyEvent(62, false);
    keys.focusLost();
    keys.startPoll();
    EXPECT_FALSE(keys.isHeld(50));
    EXPECT_FALSE(keys.isHeld(62));
    keys.keyEvent(400, true);  // out of range: ignored, never a crash
    keys.startPoll();
    EXPECT_FALSE(keys.isHeld(400));
}

}  // namespace
