#pragma once
// Image decoder double: pictures registered by name; anything else cannot be read.
#include <map>
#include <vector>

#include "platform/image_decoder.h"

namespace platform::fake {

class FakeImageDecoder final : public ImageDecoder {
public:
    std::map<std::string, render::Image> pictures;
    std::vector<std::string> requested;

    std::optional<render::Image> decode(const std::string& path, std::string& error) override {
        requested.push_back(path);
        auto it = pictures.find(path);
        if (it == pictures.end()) {
            error = "no such picture";
            return std::nullopt;
        }
        return it->second;
    }
};

}  // namespace platform::fake
