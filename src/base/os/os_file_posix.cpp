#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "base/os/os_file.h"
#include "base/os/write_all.h"

namespace base {
namespace {

namespace fs = std::filesystem;

std::string lastOsError() {
    // Some C libraries leave errno at 0 for a short write; say something truthful anyway.
    const int code = errno != 0 ? errno : EIO;
    return std::error_code(code, std::generic_category()).message();
}

bool linkUnsupported(const std::error_code& ec) {
    return ec == std::errc::operation_not_permitted || ec == std::errc::operation_not_supported ||
           ec == std::errc::function_not_supported || ec == std::errc::not_supported;
}

}  // namespace

Result<FileOutcome> writeNewFile(const fs::path& path, std::span<const std::uint8_t> bytes,
                                 Durability durability) {
    // O_EXCL: fail instead of opening a file someone else created under this name (a symlink
    // too, even one that leads nowhere).
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0) {
        if (errno == EEXIST) return FileOutcome::NameTaken;
        return Failure{lastOsError()};
    }
    std::string error = writeAll(file, bytes);
    // On the disk before the file takes its final name: after a power cut the name holds the
    // whole file or is not there, never an empty one.
    if (error.empty() && durability == Durability::OnDisk && ::fsync(file) != 0) error = lastOsError();
    errno = 0;
    // Closing can report a delayed write error (a full disk on a network share, for example).
    if (::close(file) != 0 && error.empty()) error = lastOsError();
    if (!error.empty()) {
        std::error_code ignored;
        fs::remove(path, ignored);
        return Failure{error};
    }
    return FileOutcome::Done;
}

Result<FileOutcome> linkNewName(const fs::path& existing, const fs::path& name) {
    std::error_code ec;
    fs::create_hard_link(existing, name, ec);
    if (!ec) return FileOutcome::Done;
    if (ec == std::errc::file_exists) return FileOutcome::NameTaken;
    if (linkUnsupported(ec)) return FileOutcome::Unsupported;
    return Failure{ec.message()};
}

Status replaceFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) return Failure{ec.message()};
    return Done{};
}

Status appendToFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    const int file = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) return Failure{lastOsError()};
    // O_APPEND moves to the end and writes in one step; a regular file takes the whole line at
    // once, and a short write (a full disk) is finished from where it stopped.
    std::string error = writeAll(file, bytes);
    errno = 0;
    if (::close(file) != 0 && error.empty()) error = lastOsError();
    if (!error.empty()) return Failure{error};
    return Done{};
}

void syncFolder(const fs::path& folder) {
    const int handle = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) return;
    ::fsync(handle);
    ::close(handle);
}

void syncFileSystem(const fs::path& folder) {
    const int handle = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        ::sync();
        return;
    }
    ::syncfs(handle);
    ::close(handle);
}

long processId() {
    return static_cast<long>(getpid());
}

}  // namespace base
