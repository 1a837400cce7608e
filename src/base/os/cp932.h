#pragma once
// Text from Windows-era files: names are usually Shift-JIS (code page 932) bytes, sometimes
// already UTF-8. Everything past the file readers works in UTF-8.
#include <optional>
#include <string>
#include <string_view>

namespace base {

// The CP932 bytes as UTF-8, or nothing when they are not valid CP932 or no converter exists
// on this platform.
std::optional<std::string> decodeCp932(std::string_view bytes);

// Valid UTF-8 is kept as it is; anything else is read as CP932. Bytes that are neither are
// kept unchanged, so that a name is never lost.
std::string textToUtf8(std::string_view bytes);

}  // namespace base
