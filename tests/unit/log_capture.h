#pragma once
// Collects what the core logs while it lives, instead of letting it reach stderr.
#include <string>
#include <string_view>
#include <utility>

#include "base/log.h"

class LogCapture {
public:
    LogCapture()
        : previous_(base::setLogSink([this](std::string_view line) { text_.append(line) += '\n'; })) {}
    ~LogCapture() { base::setLogSink(std::move(previous_)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The lines logged since the last take, each ended by a line feed.
    std::string take() { return std::exchange(text_, {}); }

private:
    std::string text_;
    base::LogSink previous_;
};
