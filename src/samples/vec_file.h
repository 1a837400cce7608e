#pragma once
// The .vec file of positive samples that opencv_traincascade -vec reads (opencv_createsamples
// writes the same): a header, then every sample as one greyscale picture of one size.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/image.h"
#include "samples/sample_record.h"

namespace samples {

// The grey of a 0xAARRGGBB pixel: (299 R + 587 G + 114 B + 500) / 1000, alpha ignored.
std::uint8_t greyOf(std::uint32_t pixel);

// The part `box` of `picture` (within it) in grey, resized to width x height (row-major).
std::vector<std::uint8_t> greySample(const base::Image& picture, const Box& box, int width, int height);

// The whole file for `samples`, each width * height grey values: int32 count, int32 width *
// height, int16 0, int16 0, then per sample a 0 byte and its values as int16, all little-endian.
std::vector<std::uint8_t> encodeVecFile(std::span<const std::vector<std::uint8_t>> samples, int width,
                                        int height);

}  // namespace samples
