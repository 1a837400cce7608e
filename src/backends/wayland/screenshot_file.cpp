#include "backends/wayland/screenshot_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "base/file_bytes.h"

namespace backends::wayland {
namespace {

namespace fs = std::filesystem;

// Clocks and file times may differ by a little; a file older than this before the request was
// there before it.
constexpr std::time_t kClockSlack = 2;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool inFolder(const std::string& path, const std::string& folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    const fs::path parent = fs::weakly_canonical(base::pathFromUtf8(path).parent_path(), ec);
    if (ec) return false;
    const fs::path pictures = fs::weakly_canonical(base::pathFromUtf8(folder), ec);
    return !ec && !pictures.empty() && parent == pictures;
}

bool portalsPlace(const std::string& path, const std::string& picturesFolder) {
    return base::pathFromUtf8(path).lexically_normal() == fs::path(kWlrScreenshotFile) ||
           inFolder(path, picturesFolder);
}

}  // namespace

base::Result<base::Image> takeScreenshotFile(platform::ImageDecoder& decoder, const std::string& path,
                                             const std::string& picturesFolder, std::time_t askedAt) {
    struct stat before {};
    const bool named = ::lstat(path.c_str(), &before) == 0;
    auto picture = platform::readPicture(decoder, path);
    if (!picture) return picture;
    struct stat after {};
    // The name itself, not a link's target, and still the file that was read.
    const bool removable = named && ::lstat(path.c_str(), &after) == 0 && sameFile(before, after) &&
                           S_ISREG(after.st_mode) && after.st_uid == ::geteuid() &&
                           after.st_mtime + kClockSlack >= askedAt && portalsPlace(path, picturesFolder);
    if (removable) ::unlink(path.c_str());
    return picture;
}

}  // namespace backends::wayland
