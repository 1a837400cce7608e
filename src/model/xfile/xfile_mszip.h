#pragma once
// The MSZIP compression of "tzip" and "bzip" X files. After the 16-byte header comes the
// size of the whole decompressed file (header included) as a 32-bit number, then blocks:
// 16-bit decompressed size, 16-bit compressed size (counting the "CK" signature), "CK", raw
// deflate data. Each block may refer back into the output of the blocks before it.
#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"

namespace model::xfile {

// The decompressed data that follows the header, or what is wrong and at which byte offset of
// the file. `file` is the whole file, header included.
base::Result<std::vector<std::uint8_t>> decompressXFileBody(std::span<const std::uint8_t> file);

}  // namespace model::xfile
