#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/file_bytes.h"
#include "base/os/regular_file.h"

namespace base {

Status checkRegularFile(const std::string& path) {
    struct stat info {};
    if (::stat(pathFromUtf8(path).c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return Failure{"no such file"};
        return Failure{std::strerror(errno)};
    }
    if (S_ISREG(info.st_mode)) return Done{};
    if (S_ISDIR(info.st_mode)) return Failure{"a folder, not a regular file"};
    if (S_ISFIFO(info.st_mode)) return Failure{"a FIFO, not a regular file"};
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return Failure{"a device, not a regular file"};
    return Failure{"not a regular file"};
}

}  // namespace base
