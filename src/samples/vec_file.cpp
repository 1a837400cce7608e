#include "samples/vec_file.h"

#include <algorithm>

#include "base/byte_order.h"

namespace samples {
namespace {

// Where output pixel `at` of `to` samples from, over `from` input pixels, with the pixel centres
// aligned: the centre of output pixel i lies at input position (i + 0.5) * from / to - 0.5. In
// units of 1 / (2 * to) input pixels, that is (2i + 1) * from - to: whole numbers, so the
// weights below are exact and the result is the same on every machine.
struct Tap {
    int first = 0;            // the input pixel left of (above) the position, clamped to the picture
    int second = 0;           // the one after it, clamped
    std::int64_t weight = 0;  // of `second`, out of 2 * to; `first` has the rest
};

Tap tapOf(int at, int from, int to) {
    const std::int64_t unit = 2 * static_cast<std::int64_t>(to);
    const std::int64_t position = (2 * static_cast<std::int64_t>(at) + 1) * from - to;
    if (position <= 0) return {0, 0, 0};  // before the first centre: the edge pixel
    Tap tap;
    tap.first = static_cast<int>(position / unit);
    tap.weight = position % unit;
    if (tap.first >= from - 1) return {from - 1, from - 1, 0};  // past the last centre
    tap.second = tap.first + 1;
    return tap;
}

}  // namespace

std::uint8_t greyOf(std::uint32_t pixel) {
    const std::uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    return static_cast<std::uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

// Grey first, then resized: each output value is the bilinear blend of the four input greys
// around its position (see tapOf), rounded half up.
std::vector<std::uint8_t> greySample(const base::Image& picture, const Box& box, int width, int height) {
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(box.width) *
                                   static_cast<std::size_t>(box.height));
    for (int y = 0; y < box.height; ++y)
        for (int x = 0; x < box.width; ++x)
            grey[static_cast<std::size_t>(y) * box.width + x] = greyOf(picture.at(box.x + x, box.y + y));
    const auto at = [&](int x, int y) -> std::int64_t {
        return grey[static_cast<std::size_t>(y) * box.width + x];
    };

    std::vector<Tap> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) columns[x] = tapOf(x, box.width, width);
    const std::int64_t unitX = 2 * static_cast<std::int64_t>(width);
    const std::int64_t unitY = 2 * static_cast<std::int64_t>(height);
    const std::int64_t whole = unitX * unitY;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const Tap row = tapOf(y, box.height, height);
        for (int x = 0; x < width; ++x) {
            const Tap& column = columns[x];
            const std::int64_t top = (unitX - column.weight) * at(column.first, row.first) +
                                     column.weight * at(column.second, row.first);
            const std::int64_t bottom = (unitX - column.weight) * at(column.first, row.second) +
                                        column.weight * at(column.second, row.second);
            const std::int64_t sum = (unitY - row.weight) * top + row.weight * bottom;
            out[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>((sum + whole / 2) / whole);
        }
    }
    return out;
}

std::vector<std::uint8_t> encodeVecFile(std::span<const std::vector<std::uint8_t>> samples, int width,
                                        int height) {
    const std::size_t values = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> out(12 + samples.size() * (1 + 2 * values), 0);
    base::writeLittleEndian(out.data(), 0, samples.size(), 4);
    base::writeLittleEndian(out.data(), 4, values, 4);
    std::size_t at = 12;
    for (const std::vector<std::uint8_t>& sample : samples) {
        ++at;  // the 0 byte that opens each sample
        for (std::size_t i = 0; i < values; ++i, at += 2)
            base::writeLittleEndian(out.data(), at, i < sample.size() ? sample[i] : 0, 2);
    }
    return out;
}

}  // namespace samples
