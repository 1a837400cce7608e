#include "app/app.h"

#include <utility>

#include "base/file_names.h"
#include "base/log.h"
#include "capture/frame_grab.h"
#include "capture/numbered_file.h"
#include "capture/overlay_capture.h"
#include "input/poll_keyboard.h"
#include "render/render_frame.h"

namespace app {

namespace {
constexpr std::uint32_t kClearColour = 0xFF3CA3B9;

struct Graphics {
    std::unique_ptr<device::GraphicsDevice> device;
    std::unique_ptr<device::TextFont> textFont;
};

// The device on the viewer, then its text font; or what failed first.
base::Result<Graphics> startGraphics(const device::DeviceFactory& createDevice, int width, int height) {
    auto device = createDevice(width, height);
    if (!device) {
        return base::Failure{device.error().empty() ? "the graphics device could not be created"
                                                    : device.error()};
    }
    Graphics graphics;
    graphics.device = std::move(*device);
    graphics.textFont = graphics.device->createTextFont(14);
    if (!graphics.textFont) return base::Failure{"the text font could not be created"};
    return graphics;
}

// The capture frame's outline, or an empty picture (a rectangular frame) when it cannot be read.
base::Image readOutline(platform::ImageDecoder& decoder) {
    const std::string file(base::kOutlineFile);
    auto read = platform::readPicture(decoder, file);
    if (read) return std::move(*read);
    base::logLine("nukitori: the frame outline \"" + file + "\" could not be read: " + read.error());
    return {};
}

}  // namespace

App::App(Platform platform) : platform_(std::move(platform)) {}

App::~App() = default;

base::Status App::startUp() {
    platform_.shell.createViewer(*this);
    if (platform_.shell.createFrame(*this, readOutline(platform_.decoder)) ==
        platform::OutlineShape::Refused) {
        base::logLine("nukitori: the shape of the frame outline \"" + std::string(base::kOutlineFile) +
                      "\" is too complex for the window system; the frame stays rectangular");
    }
    state.modelPath = base::kModelFile;
    auto graphics =
        startGraphics(platform_.createDevice, state.view.backBufferWidth, state.view.backBufferHeight);
    if (!graphics) return graphics.failure();
    device_ = std::move(graphics->device);
    textFont_ = std::move(graphics->textFont);
    platform_.shell.showCursor();
    currentOverlay_ = std::make_unique<render::OverlayQuad>(*device_);
    currentOverlay_->loadTexture(platform_.decoder, std::string(base::kOverlayPictureFile));
    std::vector<std::string> said;
    {
        base::LogCollector collector;
        currentModel_ = std::make_unique<render::ModelObject>(state.modelPath, *device_, platform_.decoder);
        said = std::move(collector.lines);
    }
    reportModelLoad(said);
    render::setLight(state.view, *device_);
    return base::Done{};
}

int App::run() {
    for (;;) {
        platform_.shell.processPendingEvents();
        if (quitCode_) break;
        idlePass();
        platform_.shell.paceFrame();
    }
    shutdown();
    return *quitCode_;
}

void App::idlePass() {
    state.save.numberedSave = 0;
    input::pollKeyboard(state.view, state.save, platform_.keyboard, *this);
    const bool changed = redraw_.changed(state.view, state.save);
    if (!changed && !redraw_.settling()) return;
    drawFrame();
    redraw_.drawn(state.view, state.save, changed);
}

void App::drawFrame() {
    device_->beginScene();
    device_->clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
    render::Scene scene{*device_, textFont_.get(), currentModel_.get(), currentOverlay_.get()};
    render::renderFrame(state.view, state.save, scene);
    device_->endScene();
    device_->present();
}

void App::shutdown() {
    currentOverlay_.reset();
    currentModel_.reset();
}

void App::requestQuit(int exitCode) {
    // The first request wins, as the first quit message in a queue would.
    if (!quitCode_) quitCode_ = exitCode;
}

void App::frameGrab() {
    capture::frameGrab(state.save, platform_.shell, platform_.screen);
    refreshModel(std::exchange(dropped_, false));
}

void App::overlayCapture() {
    capture::overlayCapture(state.view, state.save, platform_.shell, platform_.screen);
}

void App::refreshModel(bool readAgain) {
    redraw_.invalidate();
    if (!device_) return;
    std::vector<std::string> said;
    {
        base::LogCollector collector;
        // An unchanged model keeps its mesh; a grab changes only the grab texture it may wear.
        if (!readAgain && currentModel_ && currentModel_->path() == state.modelPath &&
            currentModel_->fileUnchanged()) {
            currentModel_->reloadChangedTextures(platform_.decoder, base::kGrabTextureFile);
        } else {
            // The old model goes first, so the two never exist at once.
            currentModel_.reset();
            currentModel_ =
                std::make_unique<render::ModelObject>(state.modelPath, *device_, platform_.decoder);
        }
        said = std::move(collector.lines);
    }
    reportModelLoad(said);
}

void App::reportModelLoad(const std::vector<std::string>& lines) {
    // Grabs reload many times a second: what the last load said already is not said again, until
    // it changes or a load goes through without a word.
    if (lines != lastModelReport_)
        for (const std::string& line : lines) base::logLine(line);
    lastModelReport_ = lines;
}

void App::onCaptureButton() {
    overlayCapture();
}

void App::onFileDropped(const std::string& path) {
    state.modelPath = path;
    dropped_ = true;
    frameGrab();
}

void App::onViewerClosed() {
    requestQuit(0);
}

void App::onViewerExposed() {
    redraw_.invalidate();
}

void App::onFrameResized() {
    ++state.frameSizeCount;
    if (state.frameSizeCount > 1) frameGrab();
}

void App::onFrameMoved() {
    frameGrab();
}

void App::onShootButton() {
    state.save.numberedSave = 1;
    frameGrab();
}

void App::onExitButton() {
    requestQuit(0);
}

void App::onPrefixChanged(const std::string& text) {
    state.save.filePrefix = text;
    state.save.saveCounter = 0;
}

}  // namespace app
