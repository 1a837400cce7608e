#pragma once
// Decodes picture files (BMP, JPEG, PNG, GIF) for textures and the frame's outline. Every
// picture is read through readPicture or readPictureBytes, which check it first.
#include <cstdint>
#include <span>
#include <string>

#include "base/image.h"
#include "base/picture_file.h"
#include "base/result.h"

namespace platform {

class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    // The picture whose encoded file is `bytes`, or why it cannot be read. The bytes have
    // passed base::checkPicture.
    virtual base::Result<base::Image> decodeBytes(std::span<const std::uint8_t> bytes) = 0;
};

// The picture file at `path` (UTF-8). Decoders fill what a cut-off file lacks with whatever
// memory held, so the decoder sees only bytes that the checks let through.
inline base::Result<base::Image> readPicture(ImageDecoder& decoder, const std::string& path) {
    const auto bytes = base::readPictureFile(path);
    if (!bytes) return bytes.failure();
    return decoder.decodeBytes(*bytes);
}

// The same for a picture file held in memory (one a model file holds).
inline base::Result<base::Image> readPictureBytes(ImageDecoder& decoder,
                                                  std::span<const std::uint8_t> bytes) {
    const auto header = base::checkPicture(bytes);
    if (!header) return header.failure();
    return decoder.decodeBytes(bytes);
}

}  // namespace platform
