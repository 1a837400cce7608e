#include <windows.h>

#include "base/file_bytes.h"
#include "base/os/regular_file.h"
#include "base/os/windows_text.h"

namespace base {

// The C runtime's stat, which std::filesystem uses here, calls a named pipe or a device such as
// NUL or CON a file; the handle's own type tells them apart. Opening one only to ask about it
// reads nothing, so it cannot wait.
Status checkRegularFile(const std::string& path) {
    const HANDLE file = ::CreateFileW(pathFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return Failure{"no such file"};
        return Failure{systemErrorText(code)};
    }
    const DWORD type = ::GetFileType(file);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = type == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (type == FILE_TYPE_PIPE) return Failure{"a named pipe, not a regular file"};
    if (type == FILE_TYPE_CHAR) return Failure{"a device, not a regular file"};
    if (!known) return Failure{"not a regular file"};
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Failure{"a folder, not a regular file"};
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return Failure{"a device, not a regular file"};
    return Done{};
}

}  // namespace base
