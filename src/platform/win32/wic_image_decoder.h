#pragma once
// Pictures (BMP, JPEG, PNG and whatever else the system's codecs read) through the Windows
// Imaging Component. Uses COM on the calling thread, which it initialises for its lifetime.
#include <memory>

#include "platform/image_decoder.h"

namespace platform::win32 {

class WicImageDecoder final : public platform::ImageDecoder {
public:
    WicImageDecoder();
    ~WicImageDecoder() override;
    WicImageDecoder(const WicImageDecoder&) = delete;
    WicImageDecoder& operator=(const WicImageDecoder&) = delete;

    base::Result<base::Image> decode(const std::string& path) override;

private:
    struct Com;
    std::unique_ptr<Com> com_;
};

}  // namespace platform::win32
