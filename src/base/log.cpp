#include "base/log.h"

#include <utility>

namespace base {
namespace {
LogSink& currentSink() {
    static LogSink sink;
    return sink;
}
}  // namespace

LogSink setLogSink(LogSink sink) {
    return std::exchange(currentSink(), std::move(sink));
}

void logLine(std::string_view line) {
    if (const LogSink& sink = currentSink()) sink(line);
}

LogCollector::LogCollector()
    : previous_(setLogSink([this](std::string_view line) { lines.emplace_back(line); })) {}

LogCollector::~LogCollector() {
    setLogSink(std::move(previous_));
}

}  // namespace base
