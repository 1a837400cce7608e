#include <sys/stat.h>

#include "base/file_bytes.h"
#include "base/os/file_stamp.h"

namespace base {

FileStamp fileStamp(const std::string& path) {
    struct stat info {};
    if (::stat(pathFromUtf8(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    FileStamp stamp;
    stamp.exists = true;
    stamp.size = static_cast<std::uintmax_t>(info.st_size);
    stamp.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.identity = static_cast<std::uint64_t>(info.st_ino);
    return stamp;
}

}  // namespace base
