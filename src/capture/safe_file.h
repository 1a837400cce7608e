#pragma once
// Writing a file so that no reader ever sees it half written: the bytes go to a hidden
// temporary file in the target's folder, which then takes the target's name in one step.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace capture {

enum class WriteStatus {
    Written,
    AlreadyExists,  // only from writeFileExclusive: the target was left alone
    Failed,
};

struct FileWriteResult {
    WriteStatus status = WriteStatus::Failed;
    std::string error;  // the operating system's reason when status is Failed
    bool ok() const { return status == WriteStatus::Written; }
};

// Replaces `target` (or creates it) with exactly `bytes`; on failure the old file is untouched
// and no temporary file is left behind.
FileWriteResult writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

// Creates `target` with exactly `bytes`, but never replaces an existing file, even one that
// appears while this runs; then the status is AlreadyExists.
FileWriteResult writeFileExclusive(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

}  // namespace capture
