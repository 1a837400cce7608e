#include "app/work_folder.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/log.h"
#include "base/safe_file.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using base::pathFromUtf8;
using base::utf8FromPath;

constexpr std::string_view kPicturesKey = "XDG_PICTURES_DIR";
constexpr std::string_view kHomeVariable = "$HOME";

std::string_view trimFront(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

// The value of one `XDG_PICTURES_DIR="…"` line, unquoted and unescaped; nothing for any other line.
std::optional<std::string> picturesValue(std::string_view line) {
    line = trimFront(line);
    if (!line.starts_with(kPicturesKey)) return std::nullopt;
    line = trimFront(line.substr(kPicturesKey.size()));
    if (!line.starts_with('=')) return std::nullopt;
    line = trimFront(line.substr(1));
    if (!line.starts_with('"')) return std::nullopt;
    std::string value;
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '"') return value;
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value += line[i];
    }
    return std::nullopt;  // no closing quote
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void copySample(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    // Anything with the name, even a dangling link, is the user's and stays.
    if (fs::symlink_status(target, ec).type() != fs::file_type::not_found && !ec) return;
    const std::string name = utf8FromPath(source);
    const auto size = fs::file_size(source, ec);
    if (ec) {
        base::logLine("nukitori: the sample file \"" + name + "\" cannot be read: " + ec.message());
        return;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream in(source, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        base::logLine("nukitori: the sample file \"" + name + "\" cannot be read");
        return;
    }
    // Exclusive: a file the user puts there meanwhile is not replaced either.
    const auto written = base::writeFileExclusive(target, bytes);
    if (!written)
        base::logLine("nukitori: the sample file \"" + utf8FromPath(target) +
                      "\" could not be written: " + written.error());
}

}  // namespace

std::string picturesFolderFromUserDirs(std::string_view userDirsText, std::string_view home) {
    std::string folder;
    while (!userDirsText.empty()) {
        const std::size_t end = userDirsText.find('\n');
        const std::string_view line = userDirsText.substr(0, end);
        userDirsText.remove_prefix(end == std::string_view::npos ? userDirsText.size() : end + 1);
        const std::optional<std::string> value = picturesValue(line);
        if (!value) continue;
        const std::string_view path = *value;
        if (path.starts_with(kHomeVariable) &&
            (path.size() == kHomeVariable.size() || path[kHomeVariable.size()] == '/')) {
            folder = std::string(home) + std::string(path.substr(kHomeVariable.size()));
        } else if (path.starts_with('/')) {
            folder = path;
        }
    }
    return folder;
}

std::string configFolder(std::string_view home, std::string_view configHome) {
    if (pathFromUtf8(configHome).is_absolute()) return std::string(configHome);
    if (home.empty()) return {};
    // Joined as a shell joins "$HOME/.config", with a slash.
    return std::string(home) + "/.config";
}

std::string picturesFolder(std::string_view home, std::string_view configHome) {
    if (home.empty()) return {};
    const fs::path config = pathFromUtf8(configFolder(home, configHome));
    const std::string named = picturesFolderFromUserDirs(readText(config / "user-dirs.dirs"), home);
    if (!named.empty()) return named;
    // Joined as the file's "$HOME/…" is, with a slash.
    return std::string(home) + "/Pictures";
}

base::Status enterWorkFolder(std::string_view folder) {
    const fs::path path = pathFromUtf8(folder);
    std::error_code ec;
    fs::create_directories(path, ec);
    if (!ec) fs::current_path(path, ec);
    if (ec) return base::Failure{"cannot use the folder \"" + std::string(folder) + "\": " + ec.message()};
    return base::Done{};
}

void seedWorkFolder(std::string_view folder, std::string_view dataFolder) {
    const fs::path target = pathFromUtf8(folder);
    const fs::path source = pathFromUtf8(dataFolder);
    for (const std::string_view name : base::kSampleFiles)
        copySample(source / pathFromUtf8(name), target / pathFromUtf8(name));
    std::error_code ec;
    const fs::path saveFolder = target / pathFromUtf8(base::kSaveFolder);
    fs::create_directory(saveFolder, ec);
    if (ec)
        base::logLine("nukitori: the folder \"" + utf8FromPath(saveFolder) +
                      "\" could not be created: " + ec.message());
}

base::Status enterMenuWorkFolder(std::string_view home, std::string_view configHome,
                                 std::string_view dataFolder) {
    if (home.empty()) return base::Failure{"HOME is not set, so the pictures folder is unknown"};
    return enterPicturesWorkFolder(picturesFolder(home, configHome), dataFolder);
}

base::Status enterPicturesWorkFolder(std::string_view pictures, std::string_view dataFolder) {
    const std::string folder = utf8FromPath(pathFromUtf8(pictures) / "nukitori");
    if (auto entered = enterWorkFolder(folder); !entered) return entered;
    seedWorkFolder(folder, dataFolder);
    return base::Done{};
}

}  // namespace app
