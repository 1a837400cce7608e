#include "render/texture_loader.h"

#include <iostream>

namespace render {

std::unique_ptr<Texture> loadTextureFromFile(GraphicsDevice& device, platform::ImageDecoder& decoder,
                                             const std::string& path) {
    std::string error;
    auto image = decoder.decode(path, error);
    if (!image) {
        std::cerr << "nukitori: texture \"" << path << "\" not loaded: " << error << '\n';
        return nullptr;
    }
    auto texture = device.createTexture(*image);
    if (!texture) std::cerr << "nukitori: texture \"" << path << "\" could not be created\n";
    return texture;
}

}  // namespace render
