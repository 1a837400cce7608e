#pragma once
#include <memory>
#include <string>

#include "platform/image_decoder.h"
#include "render/graphics_device.h"

namespace render {

// The texture of a picture file, or null (with one logged line) when it cannot be read.
std::unique_ptr<Texture> loadTextureFromFile(GraphicsDevice& device, platform::ImageDecoder& decoder,
                                             const std::string& path);

}  // namespace render
