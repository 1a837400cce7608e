#pragma once
// The one way the core reports what a user should know but need not see in the window (a
// model that did not load, a file that could not be written). main sends the lines to
// stderr; tests collect them. With no sink installed, lines are dropped.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace base {

using LogSink = std::function<void(std::string_view line)>;

// Installs `sink` (an empty one drops lines) and returns the one it replaces.
LogSink setLogSink(LogSink sink);

// One line, without its line feed; the sink adds what its medium needs.
void logLine(std::string_view line);

// Keeps the lines logged while it lives, for a caller that decides afterwards which to pass on.
class LogCollector {
public:
    LogCollector();
    ~LogCollector();
    LogCollector(const LogCollector&) = delete;
    LogCollector& operator=(const LogCollector&) = delete;

    std::vector<std::string> lines;

private:
    LogSink previous_;
};

}  // namespace base
