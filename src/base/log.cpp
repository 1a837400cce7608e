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

}  // namespace base
