#include "render/texture_loader.h"

#include "base/log.h"

namespace render {

std::unique_ptr<Texture> loadTextureFromFile(GraphicsDevice& device, platform::ImageDecoder& decoder,
                                             const std::string& path) {
    const base::Result<base::Image> image = decoder.decode(path);
    if (!image) {
        base::logLine("nukitori: texture \"" + path + "\" not loaded: " + image.error());
        return nullptr;
    }
    auto texture = device.createTexture(*image);
    if (!texture) base::logLine("nukitori: texture \"" + path + "\" could not be created");
    return texture;
}

}  // namespace render
