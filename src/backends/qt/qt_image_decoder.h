#pragma once
// Implements platform::ImageDecoder with Qt's image readers (BMP, JPEG, PNG, GIF).
// Does not: check the files (platform::readPicture does that before any byte reaches it).
#include "platform/image_decoder.h"

namespace backends::qt {

class QtImageDecoder final : public platform::ImageDecoder {
public:
    base::Result<base::Image> decodeBytes(std::span<const std::uint8_t> bytes) override;
};

}  // namespace backends::qt
