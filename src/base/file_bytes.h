#pragma once
// Paths from the UTF-8 text nukitori keeps names in, and whole files into memory for the
// readers that parse from memory.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace base {

// A path from UTF-8 text, whatever the platform's native path encoding is, and back.
std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8FromPath(const std::filesystem::path& path);

// The bytes of the file at `path` (UTF-8), refusing what is not a regular file (a FIFO or a
// device would never end) or is larger than `limit` bytes; `tooLarge` is the reason then given,
// when the caller has a better one than the limit in bytes.
Result<std::vector<std::uint8_t>> readFileBytes(const std::string& path, std::uint64_t limit,
                                                std::string_view tooLarge = {});

}  // namespace base
