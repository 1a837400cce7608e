#pragma once
// Implements platform::ImageDecoder for tests: every picture the checks let through becomes one of
// the size its header gives, every pixel `colour`, so tests use real files and only the pixels are
// made up. Does not: decode any pixel.
#include <cstdint>

#include "platform/image_decoder.h"

namespace backends::fake {

class FakeImageDecoder final : public platform::ImageDecoder {
public:
    std::uint32_t colour = 0xFFFFFFFFu;

    base::Result<base::Image> decodeBytes(std::span<const std::uint8_t> bytes) override {
        const auto header = base::checkPicture(bytes);
        if (!header) return header.failure();
        return base::Image(header->width, header->height, colour);
    }
};

}  // namespace backends::fake
