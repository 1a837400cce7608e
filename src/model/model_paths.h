#pragma once
// The files a model reader opens: the names a model file gives for the files beside it, and what
// a name leads to.
#include <string>

#include "base/result.h"

namespace model {

// `name` (UTF-8, as a model file writes it) relative to `folder`; an absolute name stays as it is.
std::string besideFolder(const std::string& folder, const std::string& name);

// The folder that holds `path`, empty for a bare file name.
std::string folderOf(const std::string& path);

// Whether `path` (UTF-8) names a regular file, as a texture or a file beside the model must be.
bool isRegularFile(const std::string& path);

// Done unless `path` (UTF-8) names a folder, which no reader can read: the failure then says so.
base::Status notAFolder(const std::string& path);

}  // namespace model
