#include "platform/fake/fake_shell.h"

namespace platform::fake {

void FakeShell::createViewer() {
    log.emplace_back("createViewer");
}

void FakeShell::createFrame() {
    log.emplace_back("createFrame");
}

std::unique_ptr<render::GraphicsDevice> FakeShell::createGraphicsDevice(int width, int height,
                                                                        std::string& error) {
    log.push_back("createGraphicsDevice " + std::to_string(width) + "x" + std::to_string(height));
    if (deviceFactory) return deviceFactory(width, height, error);
    error = "no device";
    return nullptr;
}

void FakeShell::showCursor() {
    log.emplace_back("showCursor");
}

void FakeShell::paceFrame() {
    ++paceFrameCount;
}

void FakeShell::processPendingEvents() {
    ++processEventsCount;
    if (pendingEvents) pendingEvents();
}

std::optional<Rect> FakeShell::frameWindowRect() {
    return frameRect;
}

std::optional<std::string> FakeShell::frameEditText() {
    return editText;
}

Point FakeShell::viewerClientOrigin() {
    return clientOrigin;
}

void FakeShell::closeFrame() {
    frameRect.reset();
    editText.reset();
}

}  // namespace platform::fake
