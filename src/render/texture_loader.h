#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "device/graphics_device.h"
#include "platform/image_decoder.h"

namespace render {

// The texture of a picture file, or null (with one logged line) when it cannot be read.
std::unique_ptr<device::Texture> loadTextureFromFile(device::GraphicsDevice& device,
                                                     platform::ImageDecoder& decoder,
                                                     const std::string& path);

// The same for a picture file held in memory; `name` names it in the logged line.
std::unique_ptr<device::Texture> loadTextureFromBytes(device::GraphicsDevice& device,
                                                      platform::ImageDecoder& decoder,
                                                      std::span<const std::uint8_t> bytes,
                                                      const std::string& name);

}  // namespace render
