#include "capture/grab_geometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using capture::GrabRect;

TEST(FrameHoleRect, IsInsetFromTheFrameWindow) {
    EXPECT_EQ(capture::frameHoleRect({100, 200, 277, 352}), (GrabRect{135, 237, 138, 111}))
        << "frame of 177x152 at (100,200)";
    EXPECT_EQ(capture::frameHoleRect({0, 0, 177, 152}), (GrabRect{35, 37, 138, 111}))
        << "frame at the screen's origin";
    EXPECT_EQ(capture::frameHoleRect({-100, -50, 77, 102}), (GrabRect{-65, -13, 138, 111}))
        << "a frame partly off screen must keep signed coordinates";
}

TEST(FrameHoleRect, IsEmptyBelowFortyByFortyTwo) {
    EXPECT_TRUE(capture::frameHoleRect({0, 0, 39, 152}).empty()) << "39 px wide frame has a hole";
    EXPECT_TRUE(capture::frameHoleRect({0, 0, 177, 41}).empty()) << "41 px high frame has a hole";
    EXPECT_TRUE(capture::frameHoleRect({10, 10, 20, 20}).empty()) << "tiny frame has a hole";
    const GrabRect smallest = capture::frameHoleRect({0, 0, 40, 42});
    EXPECT_FALSE(smallest.empty()) << "40x42 frame lost its one-pixel hole";
    EXPECT_EQ(smallest, (GrabRect{35, 37, 1, 1}));
}

TEST(FrameHoleRect, ExtremeCoordinatesDoNotOverflow) {
    constexpr int big = std::numeric_limits<int>::max();
    const GrabRect rect = capture::frameHoleRect({big - 10, big - 10, big, big});
    EXPECT_EQ(rect.x, big) << "x should saturate";
    EXPECT_EQ(rect.y, big) << "y should saturate";
    EXPECT_TRUE(rect.empty()) << "a 10x10 frame has no hole";
}

TEST(OverlayRect, StartsAtTheClientOriginPlusTheSignedOffset) {
    EXPECT_EQ(capture::overlayRect({4, 30}, 20, 20, 50, 50), (GrabRect{24, 50, 50, 50}))
        << "the default overlay in a viewer whose client area starts at (4,30)";
    EXPECT_EQ(capture::overlayRect({500, 400}, -32768, -5, 10, 10), (GrabRect{-32268, 395, 10, 10}))
        << "negative offsets must stay negative, not wrap";
    EXPECT_EQ(capture::overlayRect({0, 0}, 0, 0, 65535, 65535), (GrabRect{0, 0, 65535, 65535}))
        << "sizes are unsigned 16-bit";
    EXPECT_TRUE(capture::overlayRect({0, 0}, 0, 0, 0, 50).empty()) << "zero width is not empty";
    EXPECT_TRUE(capture::overlayRect({0, 0}, 0, 0, 50, 0).empty()) << "zero height is not empty";
}

}  // namespace
