#include "base/safe_file.h"

#include <atomic>
#include <string>
#include <system_error>

#include "base/os/os_file.h"

namespace base {
namespace {

namespace fs = std::filesystem;

// Writes `bytes` to a fresh hidden file beside `target` and gives its path.
Result<fs::path> writeTemporary(const fs::path& target, std::span<const std::uint8_t> bytes,
                                Durability durability) {
    static std::atomic<unsigned long> sequence{0};
    const fs::path folder = target.parent_path();
    // A short name of its own: the target's name may already be near the length limit.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            ".nukitori-" + std::to_string(processId()) + "-" + std::to_string(sequence.fetch_add(1)) + ".tmp";
        const fs::path temporary = folder / name;
        const Result<FileOutcome> written = writeNewFile(temporary, bytes, durability);
        if (!written) return written.failure();
        if (*written == FileOutcome::Done) return temporary;
    }
    return Failure{std::make_error_code(std::errc::file_exists).message()};
}

}  // namespace

Status writeFileAtomically(const fs::path& target, std::span<const std::uint8_t> bytes,
                           Durability durability) {
    const Result<fs::path> temporary = writeTemporary(target, bytes, durability);
    if (!temporary) return temporary.failure();
    const Status renamed = replaceFile(*temporary, target);
    if (!renamed) {
        std::error_code ignored;
        fs::remove(*temporary, ignored);
        return renamed;
    }
    if (durability == Durability::OnDisk) syncFolder(target.parent_path());
    return renamed;
}

Result<ExclusiveWrite> writeFileExclusive(const fs::path& target, std::span<const std::uint8_t> bytes,
                                          Durability durability) {
    const Result<fs::path> temporary = writeTemporary(target, bytes, durability);
    if (!temporary) return temporary.failure();
    // A hard link takes the final name only if nobody holds it, so the whole file appears at
    // once and an existing file is never replaced.
    const Result<FileOutcome> linked = linkNewName(*temporary, target);
    std::error_code ignored;
    fs::remove(*temporary, ignored);
    if (!linked) return linked.failure();
    switch (*linked) {
        case FileOutcome::Done:
            if (durability == Durability::OnDisk) syncFolder(target.parent_path());
            return ExclusiveWrite::Written;
        case FileOutcome::NameTaken:
            return ExclusiveWrite::NameTaken;
        case FileOutcome::Unsupported:
            break;
    }

    // Folders without hard links (FAT, some network shares): create the target itself
    // exclusively. Still never replaces a file; only a reader racing the write sees it grow.
    const Result<FileOutcome> created = writeNewFile(target, bytes, durability);
    if (!created) return created.failure();
    if (*created != FileOutcome::Done) return ExclusiveWrite::NameTaken;
    if (durability == Durability::OnDisk) syncFolder(target.parent_path());
    return ExclusiveWrite::Written;
}

}  // namespace base
