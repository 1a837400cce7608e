#pragma once
// The files a model reader opens: the model file itself, the names it gives for the files beside
// it, and what a name leads to.
#include <cstdint>
#include <string>

#include "base/result.h"

namespace model {

// No model file is read when larger: all but binary X files are read whole, and a bigger file
// would only exhaust memory.
inline constexpr std::uint64_t kMaxModelFileBytes = std::uint64_t{1} << 31;

// Done when `path` (UTF-8) names a regular file a reader may open; otherwise the failure says
// what it names instead (a folder, a FIFO or a device, which a reader would wait on for good).
base::Status checkModelFile(const std::string& path);

// `name` (UTF-8, as a model file writes it) relative to `folder`; an absolute name stays as it is.
std::string besideFolder(const std::string& folder, const std::string& name);

// The file a texture name leads to relative to `folder` (empty: the working directory): the
// name as written when that is a file; otherwise, for a name with '\' (written on Windows,
// where it is a folder separator), the name with '\' read as one, when that is a file; empty
// when neither is.
std::string foundBeside(const std::string& folder, const std::string& name);

// The folder that holds `path`, empty for a bare file name.
std::string folderOf(const std::string& path);

// Whether `path` (UTF-8) names a regular file, as a texture or a file beside the model must be.
bool isRegularFile(const std::string& path);

}  // namespace model
