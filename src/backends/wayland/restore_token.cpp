#include "backends/wayland/restore_token.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

#include "base/log.h"
#include "base/os/write_all.h"
#include "base/result.h"

namespace backends::wayland {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

std::string systemError(int code) {
    return std::error_code(code, std::generic_category()).message();
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, for the close's own error (a delayed write).
    int close() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r;
    }

private:
    int fd_;
};

// A folder of ours that others may enter is narrowed to the user; a symlink in its place is the
// user's own arrangement and stays as it is.
void tightenFolder(const std::string& folder) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 07777) != kFolderMode)
        ::chmod(folder.c_str(), kFolderMode);
}

// The folder and its missing parents, each made for the user alone (as the XDG folders are to
// be made); the umask may take bits away, so the folder's own mode is set afterwards.
base::Status makePrivateFolder(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), kFolderMode) != 0 && errno != EEXIST)
            return base::Failure{"cannot create \"" + part + "\": " + systemError(errno)};
    }
    tightenFolder(folder);
    return base::Done{};
}

base::Status writeAll(int fd, const std::string& text) {
    std::string error = base::writeAll(fd, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!error.empty()) return base::Failure{std::move(error)};
    return base::Done{};
}

// A temporary beside the file under a name no other writer uses, created exclusively: a name
// someone placed there (a symlink above all) is never opened, only passed by.
base::Result<std::string> writeTemporary(const std::string& folder, const std::string& text) {
    static std::atomic<unsigned long> sequence{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = folder + "/.screencast-restore-token-" + std::to_string(::getpid()) +
                                      "-" + std::to_string(sequence.fetch_add(1)) + ".new";
        Descriptor file(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode));
        if (file.get() < 0) {
            if (errno == EEXIST) continue;
            return base::Failure{systemError(errno)};
        }
        base::Status written = ::fchmod(file.get(), kFileMode) == 0 ? writeAll(file.get(), text)
                                                                    : base::Failure{systemError(errno)};
        // On the disk before it takes the name: a crash leaves the old token or the new one.
        if (written && ::fsync(file.get()) != 0) written = base::Failure{systemError(errno)};
        if (file.close() != 0 && written) written = base::Failure{systemError(errno)};
        if (!written) {
            ::unlink(temporary.c_str());
            return written.failure();
        }
        return temporary;
    }
    return base::Failure{systemError(EEXIST)};
}

base::Status keep(const std::string& folder, const std::string& path, const std::string& token) {
    if (auto made = makePrivateFolder(folder); !made) return made;
    const base::Result<std::string> temporary = writeTemporary(folder, token + '\n');
    if (!temporary) return temporary.failure();
    if (::rename(temporary->c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary->c_str());
        return base::Failure{systemError(code)};
    }
    return base::Done{};
}

void passOver(const std::string& path, const std::string& why) {
    base::logLine("nukitori: the screen-sharing permission in \"" + path + "\" is not used (" + why +
                  "); the desktop asks again");
}

}  // namespace

bool plainToken(const std::string& text) {
    if (text.empty() || text.size() > RestoreTokenFile::kLimit) return false;
    for (const char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

RestoreTokenFile::RestoreTokenFile(std::string folder) : folder_(std::move(folder)) {}

std::string RestoreTokenFile::path() const {
    return folder_ + "/screencast-restore-token";
}

std::string RestoreTokenFile::read() {
    if (folder_.empty()) return {};
    tightenFolder(folder_);
    const std::string file = path();
    // Non-blocking: a FIFO in its place must not hang the grab.
    Descriptor in(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (in.get() < 0) {
        if (errno != ENOENT) passOver(file, systemError(errno));
        return {};
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) {
        passOver(file, systemError(errno));
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        passOver(file, "it is not a plain file");
        return {};
    }
    if (st.st_uid == ::geteuid() && (st.st_mode & 07777) != kFileMode) ::fchmod(in.get(), kFileMode);
    // The token and its line feed; one byte more shows a file that grew meanwhile.
    constexpr std::size_t kMost = kLimit + 1;
    if (static_cast<std::uint64_t>(st.st_size) > kMost) {
        passOver(file, "it is larger than a token");
        return {};
    }
    std::string text(kMost + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t r = ::read(in.get(), text.data() + got, text.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            passOver(file, systemError(errno));
            return {};
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    text.resize(got);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!plainToken(text)) {
        passOver(file, text.size() > kLimit ? "it is larger than a token" : "it holds no plain token");
        return {};
    }
    return text;
}

void RestoreTokenFile::write(const std::string& token) {
    // A token this reader would pass over is not worth keeping.
    if (folder_.empty() || !plainToken(token)) return;
    const base::Status kept = keep(folder_, path(), token);
    if (kept || writeReported_) return;
    writeReported_ = true;
    base::logLine("nukitori: the screen-sharing permission cannot be kept in \"" + path() + "\" (" +
                  kept.error() + "); the desktop will ask again at the next start");
}

}  // namespace backends::wayland
