#include "app/app.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <span>
#include <utility>

#include "app/key_table.h"
#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/log.h"
#include "base/sha256.h"
#include "capture/frame_grab.h"
#include "capture/numbered_file.h"
#include "capture/overlay_capture.h"
#include "capture/sample_record.h"
#include "input/poll_keyboard.h"
#include "model/model_paths.h"
#include "model/model_reader.h"
#include "render/object_label.h"
#include "render/render_frame.h"
#include "render/texts.h"

namespace app {

namespace {
constexpr std::uint32_t kClearColour = 0xFF3CA3B9;
constexpr const char* kProgram = "nukitori " NUKITORI_VERSION;

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
base::Image readOutline(platform::ImageDecoder& decoder, std::string& problem) {
    const std::string file(base::kOutlineFile);
    auto read = platform::readPicture(decoder, file);
    if (read) return std::move(*read);
    base::logLine("nukitori: the frame outline \"" + file + "\" could not be read: " + read.error());
    problem = render::texts::outlineNotRead(file);
    return {};
}

// The name a user knows a file by, without its folder.
std::string fileName(const std::string& path) {
    return base::utf8FromPath(base::pathFromUtf8(path).filename());
}

// The sample files the working folder lacks, named in one line; empty when it has them all.
std::string missingSampleFiles() {
    std::string missing;
    for (std::string_view file : base::kSampleFiles) {
        if (model::isRegularFile(std::string(file))) continue;
        missing += (missing.empty() ? "" : ", ") + std::string(file);
    }
    return missing;
}

}  // namespace

App::App(Platform platform) : platform_(std::move(platform)) {}

App::~App() {
    platform_.screen.watchQuestions(nullptr);
}

base::Status App::startUp() {
    platform_.screen.watchQuestions(this);
    platform_.shell.createViewer(*this);
    std::string outlineProblem;
    if (platform_.shell.createFrame(*this, readOutline(platform_.decoder, outlineProblem)) ==
        platform::OutlineShape::Refused) {
        base::logLine("nukitori: the shape of the frame outline \"" + std::string(base::kOutlineFile) +
                      "\" is too complex for the window system; the frame stays rectangular");
        outlineProblem = render::texts::outlineTooComplex(std::string(base::kOutlineFile));
    }
    const std::string missing = missingSampleFiles();
    if (!missing.empty()) {
        std::error_code ignored;
        base::logLine("nukitori: the working folder \"" + base::utf8FromPath(std::filesystem::current_path(ignored)) +
                      "\" lacks the sample files " + missing);
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
    overlaySha256_ = base::fileSha256(std::string(base::kOverlayPictureFile));
    std::vector<std::string> said;
    {
        base::LogCollector collector;
        currentModel_ = std::make_unique<render::ModelObject>(state.modelPath, *device_, platform_.decoder);
        said = std::move(collector.lines);
    }
    reportModelLoad(said);
    // The cause first: a folder without its sample files explains the rest.
    if (!missing.empty())
        showProblem(render::texts::sampleFilesMissing(missing));
    else if (std::string model = modelProblem(); !model.empty())
        showProblem(std::move(model));
    else
        showProblem(std::move(outlineProblem));
    modelSha256_ = base::fileSha256(state.modelPath);
    textureSha256_ = base::fileSha256(std::string(base::kGrabTextureFile));
    render::setLight(state.view, *device_);
    return base::Done{};
}

int App::run() {
    for (;;) {
        platform_.shell.processPendingEvents();
        if (quitCode_) break;
        idlePass();
        // An untouched viewer sleeps until something happens instead of polling 60 times a second.
        if (!lastPassBusy_ && !platform_.keyboard.anyKeyMayBeHeld())
            platform_.shell.waitForEvents();
        else
            platform_.shell.paceFrame();
    }
    shutdown();
    return *quitCode_;
}

void App::idlePass() {
    state.save.numberedSave = 0;
    input::pollKeyboard(state.view, state.save, platform_.keyboard, *this);
    const bool changed = redraw_.changed(state.view, state.save);
    lastPassBusy_ = changed || redraw_.settling();
    if (!lastPassBusy_) return;
    drawFrame();
    redraw_.drawn(state.view, state.save, changed);
}

void App::drawFrame() {
    device_->beginScene();
    device_->clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
    render::Scene scene{*device_, textFont_.get(), currentModel_.get(), currentOverlay_.get()};
    // The model is drawn with the camera the frame before left on the device.
    shownCamera_ = deviceCamera_;
    shownSavedLine_ = render::savedLine(state.save);
    shownProblem_ = problem_;
    deviceCamera_ = render::renderFrame(state.view, state.save, scene, problem_);
    shownWorld_ = currentModel_ ? currentModel_->lastWorld() : base::Matrix::identity();
    shownView_ = state.view;
    device_->endScene();
    device_->present();
    framesDrawn_ = true;
}

void App::drawShownFrame(const std::string& problemLine) {
    if (!device_ || !framesDrawn_) return;
    device_->beginScene();
    device_->clear(device::kClearTarget | device::kClearZBuffer, kClearColour, 1.0f, 0);
    render::Scene scene{*device_, textFont_.get(), currentModel_.get(), currentOverlay_.get()};
    // Not renderFrame: it would take this pass's steps, which belong to the next frame.
    render::renderRecordedFrame({shownView_, shownWorld_, shownCamera_.view, shownCamera_.projection, shownSavedLine_,
                                 false, problemLine.empty() ? std::nullopt : std::optional(problemLine)},
                                scene);
    // The next frame's model is drawn with the camera the last one left on the device.
    device_->setTransform(device::TransformState::View, deviceCamera_.view);
    device_->setTransform(device::TransformState::Projection, deviceCamera_.projection);
    device_->endScene();
    device_->present();
}

void App::questionAsked() {
    asking_ = true;
    platform_.shell.keepFrameAbove(false);
    drawShownFrame(render::texts::kAskingForScreen);
}

void App::whileAsked() {
    // Exposures show the last picture again (onViewerExposed); input waits for the answer.
    platform_.shell.processWindowEvents();
}

void App::questionAnswered() {
    // The picture as it was before the question, before the read that follows sees the screen.
    drawShownFrame(shownProblem_);
    platform_.shell.keepFrameAbove(true);
    platform_.shell.processWindowEvents();
    asking_ = false;
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
    // Only the read that asked goes on while the desktop asks.
    if (asking_) return;
    const bool numbered = state.save.numberedSave != 0;
    if (auto saved = capture::frameGrab(state.save, platform_.shell, platform_.screen)) recordSample(*saved);
    if (!numbered) textureSha256_ = base::fileSha256(std::string(base::kGrabTextureFile));
    refreshModel(std::exchange(dropped_, false));
}

void App::overlayCapture() {
    if (asking_) return;
    if (auto saved = capture::overlayCapture(state.view, state.save, platform_.shell, platform_.screen))
        recordSample(*saved);
}

void App::recordSample(const capture::SavedSample& sample) {
    savedThisRun_.push_back(sample);
    const std::string time = capture::utcTime(std::chrono::system_clock::now());
    std::string line;
    if (sample.kind == capture::SampleKind::Capture) {
        capture::CaptureView view;
        view.modelPath = state.modelPath;
        view.modelSha256 = modelSha256_;
        static const render::LabelShape kNoShape;
        const render::LabelShape& shape = currentModel_ ? currentModel_->labelShape() : kNoShape;
        if (!shape.empty()) view.textureSha256 = textureSha256_;
        view.overlayPictureSha256 = overlaySha256_;
        view.world = shownWorld_;
        view.view = shownCamera_.view;
        view.projection = shownCamera_.projection;
        const base::Rect cut{state.view.overlayX, state.view.overlayY, state.view.overlayX + sample.width,
                             state.view.overlayY + sample.height};
        const render::ObjectLabel label =
            render::labelObject(shape, view.world, view.view, view.projection, state.view.backBufferWidth,
                                state.view.backBufferHeight, cut);
        view.objectBox = label.box;
        view.objectPolygon = label.polygon;
        view.savedLine = shownSavedLine_;
        if (!shownProblem_.empty()) view.problemLine = shownProblem_;
        line = capture::sampleLine(sample, &view, state.view, time, kProgram);
    } else {
        line = capture::sampleLine(sample, nullptr, state.view, time, kProgram);
    }
    // The file is saved: a record that cannot be written is reported as the save's failure, but
    // the file stays.
    if (const base::Status appended = capture::appendToRecord(line); !appended) {
        base::logLine("nukitori: " + appended.error());
        state.save.lastSaveFailed = true;
    }
}

void App::undoLastSave() {
    if (savedThisRun_.empty()) return;
    const capture::SavedSample last = savedThisRun_.back();
    savedThisRun_.pop_back();
    state.save.lastUndone = last.file;
    const base::Status taken = capture::takeBack(last);
    state.save.lastUndoRefused = !taken;
    if (!taken) {
        // Changed or gone since: the user's file now, left alone; F9 again goes on to the one before.
        base::logLine("nukitori: not taken back: " + taken.error());
        return;
    }
    state.save.saveCounter = last.number;
    const std::string line =
        capture::removalLine(last.file, capture::utcTime(std::chrono::system_clock::now()));
    if (const base::Status appended = capture::appendToRecord(line); !appended)
        base::logLine("nukitori: " + appended.error());
}

void App::refreshModel(bool readAgain) {
    redraw_.invalidate();
    if (!device_) return;
    std::vector<std::string> said;
    std::string refused;  // the problem line of a dropped file that is no model
    {
        base::LogCollector collector;
        // An unchanged model keeps its mesh; a grab changes only the grab texture it may wear.
        if (!readAgain && currentModel_ && currentModel_->path() == state.modelPath &&
            currentModel_->fileUnchanged()) {
            currentModel_->reloadChangedTextures(platform_.decoder, base::kGrabTextureFile);
        } else if (readAgain && currentModel_ && currentModel_->hasMesh()) {
            // A dropped file: read before the model shown goes, which stays if the file is no model.
            const std::string path = state.modelPath;
            const base::FileStamp stamp = base::fileStamp(path);
            base::Result<base::MeshData> read = model::readModel(path);
            if (read) {
                currentModel_.reset();
                currentModel_ = std::make_unique<render::ModelObject>(path, stamp, std::move(read), *device_,
                                                                      platform_.decoder);
            } else {
                base::logLine("nukitori: model \"" + path + "\" not loaded: " + read.error() +
                              "; the model shown stays");
                state.modelPath = currentModel_->path();
                refused = render::texts::modelNotLoaded(fileName(path), read.error());
            }
        } else {
            // The old model goes first, so the two never exist at once.
            currentModel_.reset();
            currentModel_ =
                std::make_unique<render::ModelObject>(state.modelPath, *device_, platform_.decoder);
        }
        said = std::move(collector.lines);
    }
    reportModelLoad(said);
    showProblem(refused.empty() ? modelProblem() : refused);
}

std::string App::modelProblem() const {
    if (!currentModel_) return {};
    if (!currentModel_->hasMesh())
        return render::texts::modelNotLoaded(fileName(currentModel_->path()), currentModel_->loadProblem());
    if (const auto missing = currentModel_->texturesNotLoaded(); !missing.empty())
        return render::texts::textureNotLoaded(fileName(missing.front()));
    return {};
}

void App::showProblem(std::string line) {
    if (line == problem_) return;
    problem_ = std::move(line);
    redraw_.invalidate();
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
    if (asking_) return;
    state.modelPath = path;
    dropped_ = true;
    frameGrab();
}

void App::onViewerClosed() {
    requestQuit(0);
}

void App::onViewerExposed() {
    redraw_.invalidate();
    if (!device_) return;
    // The first picture at the first exposure: the other windows' paints, queued behind it,
    // would otherwise come first. No step has been taken yet, so it is the first pass's picture.
    if (!framesDrawn_) {
        drawFrame();
        return;
    }
    // No pass runs while the frame is dragged; without a compositor the dragged frame would
    // otherwise leave copies of itself on the viewer, which the grab at its release would read.
    device_->presentAgain();
}

void App::onFrameResized() {
    ++state.frameSizeCount;
    if (state.frameSizeCount > 1) frameGrab();
}

void App::onFrameMoved() {
    // The hole may still show damage whose repaint is queued behind the release.
    if (device_ && framesDrawn_) device_->presentAgain();
    frameGrab();
}

void App::onShootButton() {
    if (asking_) return;  // the grab under way would save the numbered file instead
    state.save.numberedSave = 1;
    frameGrab();
}

void App::onExitButton() {
    requestQuit(0);
}

void App::onHelpKey() {
    platform_.shell.toggleKeyWindow(keyTableText());
}

void App::onPrefixChanged(const std::string& text) {
    state.save.filePrefix = text;
    // Numbers follow the order of saving: a new prefix goes on after its highest saved number.
    state.save.saveCounter = capture::numberAfterHighest(text);
    state.save.savedSincePrefixChange = false;
    state.save.lastUndone.clear();
}

}  // namespace app
