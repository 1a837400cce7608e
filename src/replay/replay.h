#pragma once
// nukitori-replay's work: a record's captures drawn again with the pictures given, through the
// viewer's own device code, and written with their record lines. The system's part, a device
// on a frame of the back buffer's size that no one sees, comes from the caller.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/image.h"
#include "base/result.h"
#include "device/graphics_device.h"
#include "platform/image_decoder.h"

namespace replay {

class Renderer {
public:
    virtual ~Renderer() = default;
    // A device whose back buffer is the viewer's size, presenting into a frame of its own.
    virtual device::GraphicsDevice& device() = 0;
    virtual platform::ImageDecoder& decoder() = 0;
    // The frame just drawn (after its scene ended), top row first, as a window on the screen
    // shows it once presented.
    // Valid until the next call: a frame is large, and one is read for every sample.
    virtual const base::Image& frameAsShown() = 0;
};

// Made only in the processes that draw; fails with the reason when the system has no way to.
using RendererFactory = std::function<base::Result<std::unique_ptr<Renderer>>()>;

// The whole program on its arguments (UTF-8, without the program's name); the exit status.
int run(const std::vector<std::string>& arguments, const RendererFactory& makeRenderer);

}  // namespace replay
