#pragma once
// The few file operations whose guarantees std::filesystem does not give on every system:
// creating a file that must not exist yet, giving a file a second name only while that name is
// free, and replacing a file in one step. Errors are the system's own reason, in UTF-8.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "base/result.h"

namespace base {

// Whether a new file's bytes are on the disk before it is closed: after a power cut a file that
// took its name after an OnDisk write holds all of its bytes; after a Scratch write it may be
// empty. Scratch is for a file rewritten at every grab, up to once a frame, which waiting for
// the disk would slow down to the disk's pace. Batch is for tools that write thousands of files
// in a run: where the system can flush a whole file system at once (Linux), no file waits and
// the run ends with syncFileSystem; elsewhere each file waits as OnDisk.
enum class Durability { OnDisk, Scratch, Batch };

// What became of an operation that did not fail.
enum class FileOutcome {
    Done,
    NameTaken,    // something already has the name; nothing was changed
    Unsupported,  // only from linkNewName: the file system has no hard links
};

// Creates `path` only if nothing has that name (never opening another's file), writes all of
// `bytes`, has them on the disk (unless Scratch), and closes it, checking every step. On failure
// removes the file it created.
Result<FileOutcome> writeNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                                 Durability durability = Durability::OnDisk);

// Gives `existing` the hard link `name` only if nothing has that name yet.
Result<FileOutcome> linkNewName(const std::filesystem::path& existing, const std::filesystem::path& name);

// Renames `from` to `to` in one step, replacing a file `to`.
Status replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Asks for the names in `folder` (the working folder when empty) to be on the disk: after a
// name was given, so that a file reported as saved is still there after a power cut. At best
// effort: some file systems cannot, and the file is whole under its name already.
void syncFolder(const std::filesystem::path& folder);

// Has everything written to the file system that holds `folder` on the disk, names included:
// the end of a run of Batch writes.
void syncFileSystem(const std::filesystem::path& folder);

// Appends `bytes` to `path` (created when missing) with one write to a file opened for
// appending, so that lines appended by several processes never interleave or tear.
Status appendToFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// This process's id: part of names that no other running process picks.
long processId();

}  // namespace base
