#include <windows.h>

#include "base/file_bytes.h"
#include "base/os/file_stamp.h"

namespace base {

// The handle's times are in 100 ns; the C runtime's stat, which std::filesystem uses here,
// gives whole seconds, so a model rewritten within the second it was read would look unchanged.
FileStamp fileStamp(const std::string& path) {
    const HANDLE file = ::CreateFileW(pathFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!read || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) return {};
    FileStamp stamp;
    stamp.exists = true;
    stamp.size = (static_cast<std::uintmax_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.modified =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    stamp.device = info.dwVolumeSerialNumber;
    stamp.identity = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return stamp;
}

}  // namespace base
