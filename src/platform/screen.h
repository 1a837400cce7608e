#pragma once
// Desktop pixels. Cost grows with the rectangle read, not with the screen.
#include "base/image.h"
#include "base/result.h"

namespace platform {

// Told while a read waits for the user to answer the desktop's question (may I share the
// screen?), so that the program's windows stay alive meanwhile. Called on the reading thread.
class ScreenQuestionWatcher {
public:
    virtual ~ScreenQuestionWatcher() = default;
    // Once, when the answer is slow enough to be a question on the screen.
    virtual void questionAsked() = 0;
    // Every few tens of milliseconds until the answer comes.
    virtual void whileAsked() = 0;
    // Once, after questionAsked, when the answer came or the wait ended.
    virtual void questionAnswered() = 0;
};

class Screen {
public:
    virtual ~Screen() = default;
    // The rectangle at (x, y) in screen coordinates, top row first; pixels outside the screen
    // read as black. Width and height are at least 1. Fails, with the reason in words, when the
    // system will not give the pixels (an X server under Wayland refuses its root window).
    virtual base::Result<base::Image> read(int x, int y, int width, int height) = 0;
    // A screen whose reads may ask the user tells `watcher` while they wait (null: nobody).
    virtual void watchQuestions(ScreenQuestionWatcher* watcher) { (void)watcher; }
};

}  // namespace platform
