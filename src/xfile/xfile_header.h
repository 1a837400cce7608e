#pragma once
// The 16-byte header that starts every X file: "xof ", a version, the encoding and the size
// of its floating-point numbers.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace xfile {

enum class XFileEncoding { Text, Binary };

struct XFileHeader {
    XFileEncoding encoding = XFileEncoding::Text;
    bool compressed = false;  // MSZIP blocks follow the header
    int floatBytes = 4;       // 4 for "0032", 8 for "0064"
};

constexpr std::size_t kXFileHeaderSize = 16;

// The header, or nothing with `error` saying what is wrong with it.
std::optional<XFileHeader> parseXFileHeader(std::span<const std::uint8_t> data, std::string& error);

}  // namespace xfile
