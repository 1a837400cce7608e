#pragma once
// Whole files into memory for the readers that parse from memory, refusing what is not a
// regular file (a FIFO or a device would never end) or is larger than the caller allows.
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"

namespace model {

base::Result<std::vector<std::uint8_t>> readFileBytes(const std::string& path, std::uint64_t limit);

// `name` (UTF-8, as a model file writes it) relative to `folder`; an absolute name stays as it is.
std::string besideFolder(const std::string& folder, const std::string& name);

// The folder that holds `path`, empty for a bare file name.
std::string folderOf(const std::string& path);

}  // namespace model
