#include <windows.h>

#include <algorithm>

#include "base/os/os_file.h"
#include "base/os/windows_text.h"

namespace base {
namespace {

namespace fs = std::filesystem;

Failure failed(DWORD code) {
    return Failure{systemErrorText(code)};
}

bool nameTaken(DWORD code) {
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

}  // namespace

Result<FileOutcome> writeNewFile(const fs::path& path, std::span<const std::uint8_t> bytes,
                                 Durability durability) {
    // CREATE_NEW, because the C runtime's "x" mode is not honoured everywhere (MSVCRT, Wine).
    // No sharing: nobody reads the file before it is whole.
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (nameTaken(code)) return FileOutcome::NameTaken;
        return failed(code);
    }
    DWORD code = ERROR_SUCCESS;
    for (std::size_t done = 0; done < bytes.size() && code == ERROR_SUCCESS;) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr))
            code = GetLastError();
        else if (written == 0)
            code = ERROR_WRITE_FAULT;
        done += written;
    }
    // On the disk before the file takes its final name: after a crash the old file or the new
    // one is there, never an empty one.
    if (code == ERROR_SUCCESS && durability != Durability::Scratch && !FlushFileBuffers(file))
        code = GetLastError();
    if (!CloseHandle(file) && code == ERROR_SUCCESS) code = GetLastError();
    if (code != ERROR_SUCCESS) {
        DeleteFileW(path.c_str());
        return failed(code);
    }
    return FileOutcome::Done;
}

Result<FileOutcome> linkNewName(const fs::path& existing, const fs::path& name) {
    if (CreateHardLinkW(name.c_str(), existing.c_str(), nullptr)) return FileOutcome::Done;
    const DWORD code = GetLastError();
    if (nameTaken(code)) return FileOutcome::NameTaken;
    // FAT volumes and some network shares have no hard links.
    if (code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED || code == ERROR_CALL_NOT_IMPLEMENTED)
        return FileOutcome::Unsupported;
    return failed(code);
}

Status replaceFile(const fs::path& from, const fs::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Done{};
    return failed(GetLastError());
}

void syncFolder(const fs::path&) {
    // Windows gives programs no flush of a folder's names (FlushFileBuffers on a folder needs
    // backup rights); NTFS journals them itself.
}

void syncFileSystem(const fs::path&) {
    // Batch writes waited for the disk one by one here.
}

Status appendToFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file. Reading
    // is asked for only because LockFileEx needs it.
    const HANDLE file =
        CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failed(GetLastError());
    // Appenders take turns on one byte far past any end a record reaches, where no reader looks:
    // Wine (and some network file systems) do not keep two appends from mixing.
    OVERLAPPED turn{};
    turn.Offset = 0xFFFFFFFEu;
    turn.OffsetHigh = 0x7FFFFFFFu;
    const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != 0;
    DWORD code = locked ? ERROR_SUCCESS : GetLastError();
    if (locked) {
        DWORD written = 0;
        if (bytes.size() > 0xFFFFFFFFu)
            code = ERROR_INVALID_PARAMETER;
        else if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            code = GetLastError();
        else if (written != bytes.size())
            code = ERROR_WRITE_FAULT;
        UnlockFileEx(file, 0, 1, 0, &turn);
    }
    if (!CloseHandle(file) && code == ERROR_SUCCESS) code = GetLastError();
    if (code != ERROR_SUCCESS) return failed(code);
    return Done{};
}

long processId() {
    return static_cast<long>(GetCurrentProcessId());
}

}  // namespace base
