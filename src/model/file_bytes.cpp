#include "model/file_bytes.h"

#include <filesystem>
#include <fstream>

namespace model {

namespace {

std::filesystem::path fromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// With forward slashes on every system (Windows takes them too), so names read the same everywhere.
std::string toUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return {text.begin(), text.end()};
}

}  // namespace

base::Result<std::vector<std::uint8_t>> readFileBytes(const std::string& path, std::uint64_t limit) {
    const std::filesystem::path file = fromUtf8(path);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (!std::filesystem::exists(status)) return base::Failure{"no such file"};
    if (!std::filesystem::is_regular_file(status)) return base::Failure{"not a regular file"};
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) return base::Failure{"its size cannot be read: " + error.message()};
    if (size > limit) return base::Failure{"the file is larger than " + std::to_string(limit) + " bytes"};
    std::ifstream in(file, std::ios::binary);
    if (!in) return base::Failure{"the file cannot be opened"};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (size > 0) in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in) return base::Failure{"the file cannot be read"};
    return bytes;
}

std::string besideFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || fromUtf8(name).is_absolute()) return name;
    return toUtf8(fromUtf8(folder) / fromUtf8(name));
}

std::string folderOf(const std::string& path) {
    return toUtf8(fromUtf8(path).parent_path());
}

}  // namespace model
