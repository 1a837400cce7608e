#include "base/file_bytes.h"

#include <fstream>
#include <system_error>

#include "base/os/regular_file.h"

namespace base {

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

Result<std::vector<std::uint8_t>> readFileBytes(const std::string& path, std::uint64_t limit,
                                                std::string_view tooLarge) {
    if (const Status regular = checkRegularFile(path); !regular) return regular.failure();
    const std::filesystem::path file = pathFromUtf8(path);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) return Failure{"its size cannot be read: " + error.message()};
    if (size > limit)
        return Failure{tooLarge.empty() ? "the file is larger than " + std::to_string(limit) + " bytes"
                                        : std::string(tooLarge)};
    std::ifstream in(file, std::ios::binary);
    if (!in) return Failure{"the file cannot be opened"};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (size > 0) in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in) return Failure{"the file cannot be read"};
    return bytes;
}

}  // namespace base
