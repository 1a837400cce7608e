#pragma once
// The 16-byte header that starts every X file: "xof ", a version, the encoding and the size
// of its floating-point numbers.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/result.h"

namespace model::xfile {

enum class XFileEncoding { Text, Binary };

struct XFileHeader {
    XFileEncoding encoding = XFileEncoding::Text;
    bool compressed = false;  // MSZIP blocks follow the header
    int floatBytes = 4;       // 4 for "0032", 8 for "0064"
};

constexpr std::size_t kXFileHeaderSize = 16;

// The header, or what is wrong with it and at which byte.
base::Result<XFileHeader> parseXFileHeader(std::span<const std::uint8_t> data);

}  // namespace model::xfile
