#pragma once
// The numbered files of the save folder,
// "<folder>/<prefix><number>.bmp" that never replace one another.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "base/result.h"

namespace capture {

// The prefix with every byte that cannot stand in a file name on Linux or Windows (path
// separators, control characters, : * ? " < > |, bytes of broken UTF-8) replaced by '_'.
// A prefix of only "." or ".." becomes "_". On Windows, a prefix that would name a device
// (CON, NUL, COM1, "con.txt", or COM and LPT followed by the number) gets a '_' in front.
std::string sanitizePrefix(std::string_view prefix);

// "<folder>/<sanitized prefix><number>.bmp", in UTF-8.
std::string numberedPath(std::string_view prefix, std::int32_t number);

// The number after the highest one already saved with `prefix` in the save folder (0 when none
// is), so that numbers follow the order of saving even where files were deleted in between.
std::int32_t numberAfterHighest(std::string_view prefix);

// Where a numbered save went: the number and UTF-8 path of the file written, or of the one that
// could not be, and whether it was (the failure is the operating system's reason).
struct NumberedSave {
    std::int32_t number = 0;
    std::string path;
    base::Status written;
};

// Writes `bytes` whole to the first numbered file from `startNumber` on that does not exist
// yet, creating the folder when it is missing. Existing files are never replaced.
NumberedSave saveNumbered(std::span<const std::uint8_t> bytes, std::string_view prefix,
                          std::int32_t startNumber);

}  // namespace capture
