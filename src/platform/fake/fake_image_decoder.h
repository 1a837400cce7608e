#pragma once
// Image decoder double: pictures registered by name; anything else cannot be read.
#include <map>
#include <vector>

#include "platform/image_decoder.h"

namespace platform::fake {

class FakeImageDecoder final : public ImageDecoder {
public:
    std::map<std::string, base::Image> pictures;
    std::vector<std::string> requested;

    base::Result<base::Image> decode(const std::string& path) override {
        requested.push_back(path);
        auto it = pictures.find(path);
        if (it == pictures.end()) return base::Failure{"no such picture"};
        return it->second;
    }

    // Bytes name the picture registered under their text.
    base::Result<base::Image> decodeBytes(std::span<const std::uint8_t> bytes) override {
        return decode(std::string(bytes.begin(), bytes.end()));
    }
};

}  // namespace platform::fake
