#include "render/texture_loader.h"

#include "base/log.h"

namespace render {

namespace {

std::unique_ptr<device::Texture> textureOf(device::GraphicsDevice& device,
                                           const base::Result<base::Image>& image, const std::string& path) {
    if (!image) {
        base::logLine("nukitori: texture \"" + path + "\" not loaded: " + image.error());
        return nullptr;
    }
    auto texture = device.createTexture(*image);
    if (!texture) base::logLine("nukitori: texture \"" + path + "\" could not be created");
    return texture;
}

}  // namespace

std::unique_ptr<device::Texture> loadTextureFromFile(device::GraphicsDevice& device,
                                                     platform::ImageDecoder& decoder,
                                                     const std::string& path) {
    return textureOf(device, platform::readPicture(decoder, path), path);
}

std::unique_ptr<device::Texture> loadTextureFromBytes(device::GraphicsDevice& device,
                                                      platform::ImageDecoder& decoder,
                                                      std::span<const std::uint8_t> bytes,
                                                      const std::string& name) {
    return textureOf(device, platform::readPictureBytes(decoder, bytes), name);
}

}  // namespace render
