#pragma once
// What tells a file's version apart from another without reading it: size, modification time
// and, where the system has one, the file's identity (a file replaced by another under the
// same name is a different file even with the same size and time).
#include <cstdint>
#include <string>

namespace base {

struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    std::int64_t modified = 0;  // in the system's finest unit (ns, or 100 ns on Windows)
    std::uint64_t device = 0;
    std::uint64_t identity = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of the regular file at `path` (UTF-8); a missing or unreadable one does not exist.
FileStamp fileStamp(const std::string& path);

}  // namespace base
