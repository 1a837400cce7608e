#include "base/region_from_bitmap.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

bool contains(const base::Region& region, int x, int y) {
    for (const base::RegionRect& r : region)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

using base::Region;
using base::RegionRect;

constexpr std::uint32_t kKey = 0xFF00FF00u;  // green with alpha
constexpr std::uint32_t kSolid = 0xFF804020u;

long long area(const Region& region) {
    long long total = 0;
    for (const RegionRect& r : region) total += static_cast<long long>(r.right - r.left) * (r.bottom - r.top);
    return total;
}

// Coverage of the window area around the picture by the column scan of the original: start
// from the whole rectangle, then cut each vertical run of key pixels, bottom row upwards.
std::vector<std::vector<bool>> referenceCoverage(const base::Image& picture, std::uint32_t key, int dx,
                                                 int dy, int spanX, int spanY) {
    std::vector<std::vector<bool>> covered(spanY, std::vector<bool>(spanX, false));
    const int w = picture.width, h = picture.height;
    for (int y = dy; y < dy + h; ++y)
        for (int x = dx; x < dx + w; ++x) covered[y][x] = true;
    auto cut = [&](int left, int top, int right, int bottom) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) covered[y][x] = false;
    };
    for (int x = 0; x < w; ++x) {
        int runStart = -1;
        for (int r = 0; r < h; ++r) {
            const bool isKey = (picture.at(x, h - 1 - r) & 0x00FFFFFFu) == key;
            if (isKey && runStart == -1) runStart = r;
            if (runStart == -1) continue;
            if (r == h - 1 && isKey)
                cut(dx + x, dy + h - r - 1, dx + x + 1, dy + h - runStart);
            else if (isKey)
                continue;
            else
                cut(dx + x, dy + h - r, dx + x + 1, dy + h - runStart);
            runStart = -1;
        }
    }
    return covered;
}

void expectSameAsReference(const Region& region, const base::Image& picture, std::uint32_t key, int dx,
                           int dy, const char* what) {
    const int spanX = dx + picture.width + 2, spanY = dy + picture.height + 2;
    const auto covered = referenceCoverage(picture, key, dx, dy, spanX, spanY);
    long long expectedArea = 0;
    for (int y = 0; y < spanY; ++y)
        for (int x = 0; x < spanX; ++x) {
            expectedArea += covered[y][x];
            ASSERT_EQ(contains(region, x, y), covered[y][x]) << what << ": pixel (" << x << "," << y << ")";
        }
    EXPECT_EQ(area(region), expectedArea) << what << ": rectangles overlap";
}

TEST(RegionFromBitmap, WorkedExamplesCutOnlyTheKeyPixels) {
    base::Image picture(4, 3, kSolid);
    picture.at(1, 0) = kKey;
    picture.at(1, 1) = kKey;
    const Region region = base::regionFromBitmap(picture, 0x0000FF00, 4, 4);
    EXPECT_EQ(area(region), 10) << "expected the 4x3 rectangle minus two pixels";
    EXPECT_FALSE(contains(region, 5, 4)) << "key pixel (1,0) is still in the shape";
    EXPECT_FALSE(contains(region, 5, 5)) << "key pixel (1,1) is still in the shape";
    EXPECT_TRUE(contains(region, 5, 6)) << "the non-key pixel below the run was cut";
    EXPECT_TRUE(contains(region, 4, 4)) << "the top-left pixel was cut";
    EXPECT_TRUE(contains(region, 7, 6)) << "the bottom-right pixel was cut";
    EXPECT_FALSE(contains(region, 8, 4)) << "the shape reaches past the picture";
    EXPECT_FALSE(contains(region, 3, 4)) << "the shape starts before dx";

    base::Image single(5, 3, kSolid);
    single.at(2, 1) = kKey;
    const Region one = base::regionFromBitmap(single, 0x0000FF00, 7, 9);
    EXPECT_EQ(area(one), 14) << "exactly one pixel should go";
    EXPECT_FALSE(contains(one, 9, 10)) << "the key pixel at (dx+2, dy+1) stayed";
}

TEST(RegionFromBitmap, PlainFullAndEmptyPictures) {
    const Region plain = base::regionFromBitmap(base::Image(6, 5, kSolid), 0x0000FF00, 3, 2);
    ASSERT_EQ(plain.size(), 1u) << "a picture without key pixels should be one rectangle";
    EXPECT_EQ(plain[0], (RegionRect{3, 2, 9, 7}));

    EXPECT_TRUE(base::regionFromBitmap(base::Image(6, 5, kKey), 0x0000FF00, 3, 2).empty())
        << "an all-key picture should have no shape";
    EXPECT_TRUE(base::regionFromBitmap(base::Image(), -1, 0, 0).empty()) << "0x0 picture";
    base::Image negative;
    negative.width = -4;
    negative.height = 3;
    EXPECT_TRUE(base::regionFromBitmap(negative, -1, 0, 0).empty()) << "negative width";
}

TEST(RegionFromBitmap, KeyColourSources) {
    // -1: the bottom-left pixel is the key, whatever the top-left one is.
    base::Image framed(3, 3, kSolid);
    framed.at(0, 0) = 0xFF0000FFu;
    framed.at(0, 2) = 0x00123456u;  // alpha differs from the matching pixel below
    framed.at(2, 2) = 0xFF123456u;
    const Region fromCorner = base::regionFromBitmap(framed, -1, 0, 0);
    EXPECT_FALSE(contains(fromCorner, 0, 2)) << "the bottom-left key pixel stayed";
    EXPECT_FALSE(contains(fromCorner, 2, 2)) << "the alpha byte took part in the comparison";
    EXPECT_TRUE(contains(fromCorner, 0, 0)) << "the top-left colour was used as the key";
    EXPECT_EQ(area(fromCorner), 7);

    // A COLORREF has red in its low byte.
    EXPECT_EQ(base::keyFromColorref(0x000000FF), 0x00FF0000u);
    EXPECT_EQ(base::keyFromColorref(0x00123456), 0x00563412u);
    EXPECT_EQ(base::keyFromColorref(0x7F0000FF), 0x00FF0000u) << "the top byte must be dropped";
    base::Image redDot(2, 1, kSolid);
    redDot.at(1, 0) = 0xFFFF0000u;
    const Region noRed = base::regionFromBitmap(redDot, 0x000000FF, 0, 0);
    EXPECT_FALSE(contains(noRed, 1, 0)) << "COLORREF red did not match pixel 0x00FF0000";
    EXPECT_TRUE(contains(noRed, 0, 0));
}

TEST(RegionFromBitmap, MatchesTheColumnScanOnRandomPictures) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        const int w = 1 + static_cast<int>(random() % 17), h = 1 + static_cast<int>(random() % 13);
        const int dx = static_cast<int>(random() % 5), dy = static_cast<int>(random() % 5);
        const unsigned keyShare = random() % 4;  // from sparse holes to mostly key
        base::Image picture(w, h);
        for (std::uint32_t& p : picture.pixels)
            p = random() % 4 <= keyShare ? kKey : (random() % 2 ? kSolid : 0xFF000000u);
        const bool fromCorner = random() % 2 == 0;
        const std::uint32_t key = fromCorner ? (picture.at(0, h - 1) & 0x00FFFFFFu) : 0x0000FF00u;
        const Region region = base::regionFromBitmap(picture, fromCorner ? -1 : 0x0000FF00, dx, dy);
        expectSameAsReference(region, picture, key, dx, dy, "random picture");
        if (HasFatalFailure()) {
            ADD_FAILURE() << "round " << round << ", " << w << "x" << h;
            return;
        }
    }
}

TEST(RegionFromBitmap, OnlyThePartOfAPictureInsideTheBoundsCounts) {
    std::mt19937 random(20240612);
    for (int round = 0; round < 200; ++round) {
        const int w = 1 + static_cast<int>(random() % 17), h = 1 + static_cast<int>(random() % 13);
        const int dx = static_cast<int>(random() % 5), dy = static_cast<int>(random() % 5);
        base::Image picture(w, h);
        for (std::uint32_t& p : picture.pixels) p = random() % 2 ? kKey : kSolid;
        // Bounds that may cut the picture on every side, or miss it.
        const int left = static_cast<int>(random() % 12), top = static_cast<int>(random() % 10);
        const base::Rect bounds{left, top, left + static_cast<int>(random() % 14),
                                top + static_cast<int>(random() % 12)};
        const Region region = base::regionFromBitmap(picture, -1, dx, dy, bounds);
        const std::uint32_t key = picture.at(0, h - 1) & 0x00FFFFFFu;
        const auto covered = referenceCoverage(picture, key, dx, dy, dx + w + 2, dy + h + 2);
        long long expectedArea = 0;
        for (int y = 0; y < dy + h + 2; ++y)
            for (int x = 0; x < dx + w + 2; ++x) {
                const bool inside =
                    x >= bounds.left && x < bounds.right && y >= bounds.top && y < bounds.bottom;
                expectedArea += covered[y][x] && inside;
                ASSERT_EQ(contains(region, x, y), covered[y][x] && inside)
                    << "round " << round << ": pixel (" << x << "," << y << ")";
            }
        ASSERT_EQ(area(region), expectedArea) << "round " << round << ": rectangles overlap";
    }
}

TEST(RegionFromBitmap, MergesEqualRunsIntoTallRectangles) {
    // A frame with a hole: two side bars, top and bottom bars. Row-by-row output would give
    // one rectangle per run per row; merging keeps it to a handful.
    base::Image frame(40, 30, kSolid);
    for (int y = 5; y < 25; ++y)
        for (int x = 5; x < 35; ++x) frame.at(x, y) = kKey;
    const Region region = base::regionFromBitmap(frame, 0x0000FF00, 0, 0);
    EXPECT_EQ(region.size(), 4u) << "equal runs in consecutive rows were not merged";
    expectSameAsReference(region, frame, 0x0000FF00u, 0, 0, "frame with a hole");
}

}  // namespace
