#include "platform/screen_clip.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

constexpr base::Rect kScreen{0, 0, 1280, 1024};

TEST(ScreenClip, KeepsThePartOnTheScreenAndBlacksOutTheRest) {
    EXPECT_EQ(platform::onScreenPart(10, 20, 30, 40, kScreen), (base::Rect{10, 20, 40, 60}));
    EXPECT_TRUE(platform::wholeRectangle(platform::onScreenPart(10, 20, 30, 40, kScreen), 10, 20, 30, 40));

    // Two columns and one row hang off the top-left corner.
    const base::Rect part = platform::onScreenPart(-2, -1, 4, 3, kScreen);
    EXPECT_EQ(part, (base::Rect{0, 0, 2, 2}));
    EXPECT_FALSE(platform::wholeRectangle(part, -2, -1, 4, 3));
    base::Image image(4, 3, 0xFF123456u);
    platform::blackOutside(image, -2, -1, part);
    const std::uint32_t k = 0xFF123456u, o = platform::kOffScreen;
    EXPECT_EQ(image.pixels, (decltype(image.pixels){o, o, o, o, o, o, k, k, o, o, k, k}));

    base::Image away(3, 2, 0xFF123456u);
    const base::Rect none = platform::onScreenPart(2000, 5, 3, 2, kScreen);
    EXPECT_EQ(none.width(), 0) << "a rectangle off the screen has a part on it";
    platform::blackOutside(away, 2000, 5, none);
    EXPECT_EQ(away.pixels, decltype(away.pixels)(6, o)) << "a rectangle off the screen is not all black";
}

TEST(ScreenClip, ARectangleAtTheEndOfTheCoordinatesDoesNotWrapOntoTheScreen) {
    const base::Rect part =
        platform::onScreenPart(INT_MAX - 5, 100, 50, 10, {INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    EXPECT_EQ(part, (base::Rect{INT_MAX - 5, 100, INT_MAX, 110})) << "the right edge wrapped";
    EXPECT_EQ(platform::onScreenPart(INT_MAX - 5, 100, 50, 10, kScreen).width(), 0)
        << "a rectangle far right of the screen reached onto it";
}

}  // namespace
