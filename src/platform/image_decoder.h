#pragma once
// Decodes picture files (BMP, JPEG, PNG) for textures.
#include <optional>
#include <string>

#include "render/image.h"

namespace platform {

class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    // The picture, or nothing with a reason in `error`.
    virtual std::optional<render::Image> decode(const std::string& path, std::string& error) = 0;
};

}  // namespace platform
