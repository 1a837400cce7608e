#pragma once
// The MSZIP compression of "tzip" and "bzip" X files. After the 16-byte header comes the
// size of the whole decompressed file (header included) as a 32-bit number, then blocks:
// 16-bit decompressed size, 16-bit compressed size (counting the "CK" signature), "CK", raw
// deflate data. Each block may refer back into the output of the blocks before it.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace xfile {

struct MszipResult {
    std::vector<std::uint8_t> body;  // the decompressed data that follows the header
    std::string error;               // empty on success; names the byte offset in the file
};

// `file` is the whole file, header included.
MszipResult decompressXFileBody(std::span<const std::uint8_t> file);

}  // namespace xfile
