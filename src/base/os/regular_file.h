#pragma once
// Whether a name leads to a regular file, told without opening the file to read it: a FIFO, a
// named pipe or a device opened to be read may never answer, and the reader would wait for good.
#include <string>

#include "base/result.h"

namespace base {

// Done when `path` (UTF-8) names a regular file (through symlinks); otherwise what it names
// instead, as "no such file", "a folder, not a regular file", "a FIFO, not a regular file",
// "a named pipe, not a regular file" (Windows) or "a device, not a regular file", or the
// system's reason why it cannot be looked at.
Status checkRegularFile(const std::string& path);

}  // namespace base
