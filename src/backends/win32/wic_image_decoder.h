#pragma once
// Pictures (BMP, JPEG, PNG, GIF) through the Windows Imaging Component. Uses COM on the
// calling thread, which it initialises for its lifetime.
#include <memory>

#include "platform/image_decoder.h"

struct IWICBitmapDecoder;

namespace backends::win32 {

class WicImageDecoder final : public platform::ImageDecoder {
public:
    WicImageDecoder();
    ~WicImageDecoder() override;
    WicImageDecoder(const WicImageDecoder&) = delete;
    WicImageDecoder& operator=(const WicImageDecoder&) = delete;

    base::Result<base::Image> decodeBytes(std::span<const std::uint8_t> bytes) override;

private:
    base::Result<base::Image> firstFrame(IWICBitmapDecoder* decoder);

    struct Com;
    std::unique_ptr<Com> com_;
};

}  // namespace backends::win32
