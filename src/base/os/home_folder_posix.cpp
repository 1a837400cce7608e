#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/os/home_folder.h"

namespace base {

std::string homeFolder(std::string_view homeVariable) {
    if (!homeVariable.empty()) return std::string(homeVariable);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found || !found->pw_dir || found->pw_dir[0] != '/' || found->pw_dir[1] == '\0') return {};
    return found->pw_dir;
}

}  // namespace base
