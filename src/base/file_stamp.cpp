#include "base/file_stamp.h"

#include <filesystem>
#include <system_error>

#include "base/file_bytes.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace base {

FileStamp fileStamp(const std::string& path) {
    const std::filesystem::path file = pathFromUtf8(path);
    std::error_code ec;
    FileStamp stamp;
    if (!std::filesystem::is_regular_file(file, ec)) return stamp;
    stamp.size = std::filesystem::file_size(file, ec);
    if (ec) return {};
    stamp.modified = std::filesystem::last_write_time(file, ec).time_since_epoch().count();
    if (ec) return {};
#if !defined(_WIN32)
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return {};
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.identity = static_cast<std::uint64_t>(info.st_ino);
#endif
    stamp.exists = true;
    return stamp;
}

}  // namespace base
