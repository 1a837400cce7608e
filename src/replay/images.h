#pragma once
// What a replayed cut may go through before it is written: resizing, and the PNG form.
#include <cstdint>
#include <vector>

#include "base/image.h"

namespace replay {

// `image` resized to width x height, each output pixel the bilinear blend of the four source
// pixels around its centre (centres aligned, edges clamped).
base::Image resized(const base::Image& image, int width, int height);

// `image` scaled to cover width x height, keeping its shape, and its middle cut out.
base::Image covering(const base::Image& image, int width, int height);

// An 8-bit RGB PNG of `image` (alpha dropped), compressed with zlib.
std::vector<std::uint8_t> encodePng(const base::Image& image);

}  // namespace replay
