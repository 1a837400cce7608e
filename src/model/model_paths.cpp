#include "model/model_paths.h"

#include <filesystem>

#include "base/file_bytes.h"

namespace model {

namespace {

// With forward slashes on every system (Windows takes them too), so names read the same everywhere.
std::string genericUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return {text.begin(), text.end()};
}

}  // namespace

std::string besideFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || base::pathFromUtf8(name).is_absolute()) return name;
    return genericUtf8(base::pathFromUtf8(folder) / base::pathFromUtf8(name));
}

std::string folderOf(const std::string& path) {
    return genericUtf8(base::pathFromUtf8(path).parent_path());
}

bool isRegularFile(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(base::pathFromUtf8(path), ignored);
}

base::Status notAFolder(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(base::pathFromUtf8(path), ignored))
        return base::Failure{"\"" + path + "\" is a folder, not a file"};
    return base::Done{};
}

}  // namespace model
