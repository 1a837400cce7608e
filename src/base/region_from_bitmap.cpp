#include "base/region_from_bitmap.h"

#include <algorithm>
#include <cstddef>

namespace base {
namespace {

constexpr std::uint32_t kColourMask = 0x00FFFFFFu;

struct Run {
    int left = 0;
    int right = 0;  // exclusive
};

// The runs of non-key pixels in the columns [x, end) of one picture row, left to right.
void rowRuns(const std::uint32_t* row, int x, int end, std::uint32_t key, std::vector<Run>& runs) {
    runs.clear();
    while (x < end) {
        while (x < end && (row[x] & kColourMask) == key) ++x;
        if (x == end) break;
        const int start = x;
        while (x < end && (row[x] & kColourMask) != key) ++x;
        runs.push_back({start, x});
    }
}

}  // namespace

std::uint32_t keyFromColorref(std::int32_t colorref) {
    const auto value = static_cast<std::uint32_t>(colorref);
    return ((value & 0xFFu) << 16) | (value & 0xFF00u) | ((value >> 16) & 0xFFu);
}

Region regionFromBitmap(const base::Image& picture, std::int32_t keyColour, int dx, int dy) {
    return regionFromBitmap(picture, keyColour, dx, dy, {dx, dy, dx + picture.width, dy + picture.height});
}

Region regionFromBitmap(const base::Image& picture, std::int32_t keyColour, int dx, int dy,
                        const Rect& bounds) {
    Region region;
    if (picture.empty()) return region;
    const int width = picture.width;
    // The picture's columns and rows that land inside the bounds.
    const int firstColumn = std::max(0, bounds.left - dx), endColumn = std::min(width, bounds.right - dx);
    const int firstRow = std::max(0, bounds.top - dy), endRow = std::min(picture.height, bounds.bottom - dy);
    const std::uint32_t key =
        keyColour == -1 ? (picture.at(0, picture.height - 1) & kColourMask) : keyFromColorref(keyColour);

    // Rectangles still growing downwards, one per run of the previous row, left to right.
    // A run continues a rectangle only when it has exactly the same columns; everything
    // else closes. Each row is compared with the one above once, so the work stays linear.
    std::vector<RegionRect> open, next;
    std::vector<Run> runs;
    for (int y = firstRow; y < endRow; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        rowRuns(picture.pixels.data() + rowStart, firstColumn, endColumn, key, runs);
        next.clear();
        std::size_t o = 0;
        for (const Run& run : runs) {
            const int left = dx + run.left, right = dx + run.right;
            while (o < open.size() && open[o].left < left) region.push_back(open[o++]);
            if (o < open.size() && open[o].left == left && open[o].right == right) {
                RegionRect grown = open[o++];
                grown.bottom = dy + y + 1;
                next.push_back(grown);
            } else {
                next.push_back({left, dy + y, right, dy + y + 1});
            }
        }
        while (o < open.size()) region.push_back(open[o++]);
        open.swap(next);
    }
    region.insert(region.end(), open.begin(), open.end());
    return region;
}

}  // namespace base
