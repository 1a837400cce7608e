#pragma once
// Writing a file so that no reader ever sees it half written: the bytes go to a hidden
// temporary file in the target's folder, which then takes the target's name in one step.
// Failures are the operating system's reason.
#include <cstdint>
#include <filesystem>
#include <span>

#include "base/os/os_file.h"
#include "base/result.h"

namespace base {

// Replaces `target` (or creates it) with exactly `bytes`; on failure the old file is untouched
// and no temporary file is left behind. OnDisk: the bytes are on the disk before the file takes
// the name, and the name after.
Status writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes,
                           Durability durability = Durability::OnDisk);

enum class ExclusiveWrite {
    Written,
    NameTaken,  // something had the name, even one that appeared while this ran: left alone
};

// Creates `target` with exactly `bytes`, but never replaces an existing file; OnDisk: bytes and
// name are on the disk before it returns.
Result<ExclusiveWrite> writeFileExclusive(const std::filesystem::path& target, std::span<const std::uint8_t> bytes,
                                          Durability durability = Durability::OnDisk);

}  // namespace base
