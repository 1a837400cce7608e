#include "capture/safe_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace capture {
namespace {

namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

long processId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

std::string lastOsError() {
    // Some C libraries leave errno at 0 for a short write; say something truthful anyway.
    const int code = errno != 0 ? errno : EIO;
    return std::error_code(code, std::generic_category()).message();
}

// Creates `path`, which must not exist yet, and writes all of `bytes` into it. On failure
// removes what it created and returns the reason; `exists` tells a name clash apart.
bool writeNewFile(const fs::path& path, std::span<const std::uint8_t> bytes, std::string& error,
                  bool& exists) {
    exists = false;
    errno = 0;
    // "x": fail instead of opening a file someone else created under this name.
#ifdef _WIN32
    FileHandle file(_wfopen(path.c_str(), L"wbx"));  // wide: the names are not in the ANSI code page
#else
    FileHandle file(std::fopen(path.c_str(), "wbx"));
#endif
    if (!file) {
        exists = errno == EEXIST;
        error = lastOsError();
        return false;
    }
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
    }
    return good;
}

// Writes `bytes` to a fresh hidden file beside `target`; returns its path, or empty on failure.
fs::path writeTemporary(const fs::path& target, std::span<const std::uint8_t> bytes, std::string& error) {
    static std::atomic<unsigned long> sequence{0};
    const fs::path folder = target.parent_path();
    // A short name of its own: the target's name may already be near the length limit.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            ".nukitori-" + std::to_string(processId()) + "-" + std::to_string(sequence.fetch_add(1)) + ".tmp";
        const fs::path temporary = folder / name;
        bool exists = false;
        if (writeNewFile(temporary, bytes, error, exists)) return temporary;
        if (!exists) return {};
    }
    error = std::error_code(EEXIST, std::generic_category()).message();
    return {};
}

FileWriteResult failed(std::string reason) {
    return {WriteStatus::Failed, std::move(reason)};
}

bool linkUnsupported(const std::error_code& ec) {
    return ec == std::errc::operation_not_permitted || ec == std::errc::operation_not_supported ||
           ec == std::errc::function_not_supported || ec == std::errc::not_supported;
}

}  // namespace

FileWriteResult writeFileAtomically(const fs::path& target, std::span<const std::uint8_t> bytes) {
    std::string error;
    const fs::path temporary = writeTemporary(target, bytes, error);
    if (temporary.empty()) return failed(error);
    std::error_code ec;
    fs::rename(temporary, target, ec);  // replaces the target in one step
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return failed(ec.message());
    }
    return {WriteStatus::Written, {}};
}

FileWriteResult writeFileExclusive(const fs::path& target, std::span<const std::uint8_t> bytes) {
    std::string error;
    const fs::path temporary = writeTemporary(target, bytes, error);
    if (temporary.empty()) return failed(error);
    // A hard link takes the final name only if nobody holds it, so the whole file appears at
    // once and an existing file is never replaced.
    std::error_code ec;
    fs::create_hard_link(temporary, target, ec);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    if (!ec) return {WriteStatus::Written, {}};
    if (ec == std::errc::file_exists) return {WriteStatus::AlreadyExists, {}};
    if (!linkUnsupported(ec)) return failed(ec.message());

    // Folders without hard links (FAT, some network shares): create the target itself
    // exclusively. Still never replaces a file; only a reader racing the write sees it grow.
    bool exists = false;
    if (writeNewFile(target, bytes, error, exists)) return {WriteStatus::Written, {}};
    return exists ? FileWriteResult{WriteStatus::AlreadyExists, {}} : failed(error);
}

}  // namespace capture
