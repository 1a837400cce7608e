#include "base/os/write_all.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace base {

std::string writeAll(int fd, std::span<const std::uint8_t> bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        errno = 0;
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        // Some C libraries leave errno at 0 for a short write; say something truthful anyway.
        if (written <= 0) return std::error_code(errno != 0 ? errno : EIO, std::generic_category()).message();
        done += static_cast<std::size_t>(written);
    }
    return {};
}

}  // namespace base
