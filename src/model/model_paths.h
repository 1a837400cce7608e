#pragma once
// Names a model file gives for the files beside it.
#include <string>

namespace model {

// `name` (UTF-8, as a model file writes it) relative to `folder`; an absolute name stays as it is.
std::string besideFolder(const std::string& folder, const std::string& name);

// The folder that holds `path`, empty for a bare file name.
std::string folderOf(const std::string& path);

}  // namespace model
