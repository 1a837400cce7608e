#include "capture/safe_file.h"

#include <atomic>
#include <system_error>

#include "base/os/os_file.h"

namespace capture {
namespace {

namespace fs = std::filesystem;

// Writes `bytes` to a fresh hidden file beside `target`; returns its path, or empty on failure.
fs::path writeTemporary(const fs::path& target, std::span<const std::uint8_t> bytes, std::string& error) {
    static std::atomic<unsigned long> sequence{0};
    const fs::path folder = target.parent_path();
    // A short name of its own: the target's name may already be near the length limit.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = ".nukitori-" + std::to_string(base::processId()) + "-" +
                                 std::to_string(sequence.fetch_add(1)) + ".tmp";
        const fs::path temporary = folder / name;
        const base::FileOpResult written = base::writeNewFile(temporary, bytes);
        if (written.ok()) return temporary;
        error = written.error;
        if (written.outcome != base::FileOutcome::NameTaken) return {};
    }
    return {};
}

FileWriteResult failed(std::string reason) {
    return {WriteStatus::Failed, std::move(reason)};
}

}  // namespace

FileWriteResult writeFileAtomically(const fs::path& target, std::span<const std::uint8_t> bytes) {
    std::string error;
    const fs::path temporary = writeTemporary(target, bytes, error);
    if (temporary.empty()) return failed(error);
    const base::FileOpResult renamed = base::replaceFile(temporary, target);
    if (!renamed.ok()) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return failed(renamed.error);
    }
    return {WriteStatus::Written, {}};
}

FileWriteResult writeFileExclusive(const fs::path& target, std::span<const std::uint8_t> bytes) {
    std::string error;
    const fs::path temporary = writeTemporary(target, bytes, error);
    if (temporary.empty()) return failed(error);
    // A hard link takes the final name only if nobody holds it, so the whole file appears at
    // once and an existing file is never replaced.
    const base::FileOpResult linked = base::linkNewName(temporary, target);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    switch (linked.outcome) {
        case base::FileOutcome::Done:
            return {WriteStatus::Written, {}};
        case base::FileOutcome::NameTaken:
            return {WriteStatus::AlreadyExists, {}};
        case base::FileOutcome::Failed:
            return failed(linked.error);
        case base::FileOutcome::Unsupported:
            break;
    }

    // Folders without hard links (FAT, some network shares): create the target itself
    // exclusively. Still never replaces a file; only a reader racing the write sees it grow.
    const base::FileOpResult created = base::writeNewFile(target, bytes);
    if (created.ok()) return {WriteStatus::Written, {}};
    if (created.outcome == base::FileOutcome::NameTaken) return {WriteStatus::AlreadyExists, {}};
    return failed(created.error);
}

}  // namespace capture
