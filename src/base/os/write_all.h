#pragma once
// The whole of a buffer into an open file, on POSIX systems.
#include <cstdint>
#include <span>
#include <string>

namespace base {

// Writes all of `bytes` to the open file `fd`, going on after short writes and interruptions;
// empty when done, else the system's reason.
std::string writeAll(int fd, std::span<const std::uint8_t> bytes);

}  // namespace base
