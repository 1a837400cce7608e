#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "base/os/os_file.h"

namespace base {
namespace {

namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

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

Result<FileOutcome> writeNewFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    errno = 0;
    // "x": fail instead of opening a file someone else created under this name.
    FileHandle file(std::fopen(path.c_str(), "wbx"));
    if (!file) {
        if (errno == EEXIST) return FileOutcome::NameTaken;
        return Failure{lastOsError()};
    }
    std::string error;
    bool good = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    if (good) good = std::fflush(file.get()) == 0;
    if (!good) error = lastOsError();
    errno = 0;
    // Closing can report a delayed write error (a full disk on a network share, for example).
    if (std::fclose(file.release()) != 0 && good) {
        good = false;
        error = lastOsError();
    }
    if (!good) {
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
    std::size_t done = 0;
    std::string error;
    while (done < bytes.size()) {
        errno = 0;
        const ssize_t written = ::write(file, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = lastOsError();
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    errno = 0;
    if (::close(file) != 0 && error.empty()) error = lastOsError();
    if (!error.empty()) return Failure{error};
    return Done{};
}

long processId() {
    return static_cast<long>(getpid());
}

}  // namespace base
