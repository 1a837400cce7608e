#pragma once
// The checks every picture passes before a platform decoder sees it. Decoders fill what a
// cut-off file lacks with whatever memory held, so only whole pictures of a format nukitori
// reads (told by content: BMP, PNG, JPEG, GIF), and of a size it can hold, get through.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"

namespace base {

enum class PictureFormat { Bmp, Png, Jpeg, Gif };

struct PictureHeader {
    PictureFormat format = PictureFormat::Bmp;
    int width = 0;
    int height = 0;
};

// The format and size of the encoded picture `bytes`, from its header alone, or why it is
// refused: no format nukitori reads, no pixels or more than kMaxPixels, or data that
// ends before the picture does (BMP rows past the end, no PNG IEND chunk, no JPEG end-of-image
// marker, no GIF trailer, run-length BMP codes that leave pixels unset).
Result<PictureHeader> checkPicture(std::span<const std::uint8_t> bytes);

// The bytes of the picture file at `path` (UTF-8), refused as checkPicture refuses them, and
// when it is no regular file (a FIFO would never end) or larger than any picture it may hold.
Result<std::vector<std::uint8_t>> readPictureFile(const std::string& path);

}  // namespace base
