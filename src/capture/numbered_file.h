#pragma once
// Where grabs and captures go: the fixed output names, and the numbered files
// "<folder>/<prefix><number>.bmp" that never replace one another.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "base/file_bytes.h"

namespace capture {

// UTF-8, relative to the working directory.
inline constexpr std::string_view kSaveFolderName = "抜き取り画像保存フォルダ";
inline constexpr std::string_view kGrabTextureFileName = "フィルター.bmp";

using base::pathFromUtf8;
using base::utf8FromPath;

// The prefix with every byte that cannot stand in a file name on Linux or Windows (path
// separators, control characters, : * ? " < > |, bytes of broken UTF-8) replaced by '_'.
// A prefix of only "." or ".." becomes "_". On Windows, a prefix that would name a device
// (CON, NUL, COM1, "con.txt", or COM and LPT followed by the number) gets a '_' in front.
std::string sanitizePrefix(std::string_view prefix);

// "<folder>/<sanitized prefix><number>.bmp", in UTF-8.
std::string numberedPath(std::string_view prefix, std::int32_t number);

struct SaveResult {
    bool ok = false;
    std::int32_t numberUsed = 0;
    std::string path;   // UTF-8: the file written, or the one that could not be
    std::string error;  // the operating system's reason when !ok
};

// Writes `bytes` whole to the first numbered file from `startNumber` on that does not exist
// yet, creating the folder when it is missing. Existing files are never replaced.
SaveResult saveNumbered(std::span<const std::uint8_t> bytes, std::string_view prefix,
                        std::int32_t startNumber);

}  // namespace capture
