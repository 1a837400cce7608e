#pragma once
// Picture files through Qt's image readers (BMP, JPEG, PNG, ...).
#include "platform/image_decoder.h"

namespace platform::qt {

class QtImageDecoder final : public ImageDecoder {
public:
    std::optional<render::Image> decode(const std::string& path, std::string& error) override;
};

}  // namespace platform::qt
