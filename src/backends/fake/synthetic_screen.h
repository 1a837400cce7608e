#pragma once
// Implements platform::Screen for tests: a desktop picture in memory; every pixel is a known
// function of its place, so any offset or flip shows. Does not: read a real screen.
#include <functional>
#include <optional>
#include <string>

#include "platform/screen.h"

namespace backends::fake {

class SyntheticScreen final : public platform::Screen {
public:
    SyntheticScreen(int width, int height);
    // The default desktop colours every pixel by its coordinates, so any shift shows.
    static std::uint32_t patternAt(int x, int y);
    base::Result<base::Image> read(int x, int y, int width, int height) override;
    void watchQuestions(platform::ScreenQuestionWatcher* watcher) override { watcher_ = watcher; }
    int width() const { return width_; }
    int height() const { return height_; }
    int readCount = 0;
    // While set, every read fails with this reason, as a display that refuses reads does.
    std::optional<std::string> failure;
    // While set, every read first asks the user, as a desktop without a kept permission does.
    bool asks = false;

private:
    int width_;
    int height_;
    platform::ScreenQuestionWatcher* watcher_ = nullptr;
};

}  // namespace backends::fake
