#include "backends/fake/fake_shell.h"

namespace backends::fake {

void FakeShell::createViewer(platform::WindowEvents& events) {
    log.emplace_back("createViewer");
    this->events = &events;
}

platform::OutlineShape FakeShell::createFrame(platform::WindowEvents& events, const base::Image& outline) {
    log.emplace_back("createFrame");
    this->events = &events;
    frameOutline = outline;
    return outlineShape;
}

base::Result<std::unique_ptr<device::GraphicsDevice>> FakeShell::createGraphicsDevice(int width, int height) {
    log.push_back("createGraphicsDevice " + std::to_string(width) + "x" + std::to_string(height));
    std::unique_ptr<device::GraphicsDevice> device = deviceFactory ? deviceFactory(width, height) : nullptr;
    if (!device) return base::Failure{"no device"};
    return device;
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

std::optional<base::Rect> FakeShell::frameWindowRect() {
    return frameRect;
}

std::optional<std::string> FakeShell::frameEditText() {
    return editText;
}

base::Point FakeShell::viewerClientOrigin() {
    return clientOrigin;
}

void FakeShell::closeFrame() {
    frameRect.reset();
    editText.reset();
}

}  // namespace backends::fake
