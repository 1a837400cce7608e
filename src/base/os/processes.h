#pragma once
// Copies of the running program as worker processes, and whether stderr is a terminal (a
// progress bar redraws its line there; elsewhere it prints a line now and then).
#include <functional>
#include <string>
#include <vector>

#include "base/result.h"

namespace base {

// Starts this program once for each argument list (UTF-8, without the program's name), calls
// `tick` about five times a second while any runs, and fails when one could not be started or
// did not end with status 0.
Status runCopiesOfSelf(const std::vector<std::vector<std::string>>& arguments,
                       const std::function<void()>& tick);

bool stderrIsTerminal();

}  // namespace base
