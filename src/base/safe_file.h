#pragma once
// Writing a file so that no reader ever sees it half written: the bytes go to a hidden
// temporary file in the target's folder, which then takes the target's name in one step.
// Failures are the operating system's reason.
#include <cstdint>
#include <filesystem>
#include <span>

#include "base/result.h"

namespace base {

// Replaces `target` (or creates it) with exactly `bytes`; on failure the old file is untouched
// and no temporary file is left behind.
Status writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

enum class ExclusiveWrite {
    Written,
    NameTaken,  // something had the name, even one that appeared while this ran: left alone
};

// Creates `target` with exactly `bytes`, but never replaces an existing file.
Result<ExclusiveWrite> writeFileExclusive(const std::filesystem::path& target,
                                          std::span<const std::uint8_t> bytes);

}  // namespace base
