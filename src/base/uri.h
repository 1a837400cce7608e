#pragma once
// URI text as file names: glTF names its files by relative URIs, the desktop portal its
// pictures by file:// URIs.
#include <string>
#include <string_view>

namespace base {

// `%XX` escapes turned back into their bytes; a `%` without two hex digits stays as it is.
std::string percentDecoded(std::string_view uri);

// The path of a local file:// URI ("file:///a/b" or "file://localhost/a/b"), decoded; empty
// for any other URI.
std::string localFilePath(std::string_view uri);

}  // namespace base
