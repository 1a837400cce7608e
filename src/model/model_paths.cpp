#include "model/model_paths.h"

#include <algorithm>
#include <filesystem>

#include "base/file_bytes.h"
#include "base/os/regular_file.h"

namespace model {

namespace {

// With forward slashes on every system (Windows takes them too), so names read the same everywhere.
std::string genericUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return {text.begin(), text.end()};
}

}  // namespace

base::Status checkModelFile(const std::string& path) {
    if (const base::Status regular = base::checkRegularFile(path); !regular)
        return base::Failure{"cannot read \"" + path + "\": " + regular.error()};
    return base::Done{};
}

std::string besideFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || base::pathFromUtf8(name).is_absolute()) return name;
    return genericUtf8(base::pathFromUtf8(folder) / base::pathFromUtf8(name));
}

std::string foundBeside(const std::string& folder, const std::string& name) {
    if (name.empty()) return {};
    if (const std::string asWritten = besideFolder(folder, name); isRegularFile(asWritten)) return asWritten;
    if (name.find('\\') == std::string::npos) return {};
    std::string slashed = name;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    if (const std::string found = besideFolder(folder, slashed); isRegularFile(found)) return found;
    return {};
}

std::string folderOf(const std::string& path) {
    return genericUtf8(base::pathFromUtf8(path).parent_path());
}

bool isRegularFile(const std::string& path) {
    return base::checkRegularFile(path).ok();
}

}  // namespace model
