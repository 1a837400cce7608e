#pragma once
// Decodes picture files (BMP, JPEG, PNG) for textures and the frame's outline.
#include <cstdint>
#include <span>
#include <string>

#include "base/image.h"
#include "base/result.h"

namespace platform {

class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    // The picture at `path` (UTF-8), or why it cannot be read.
    virtual base::Result<base::Image> decode(const std::string& path) = 0;
    // The picture whose encoded file is `bytes` (one a model file holds), or why it cannot be read.
    virtual base::Result<base::Image> decodeBytes(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace platform
