#pragma once
// Start-up, the main loop and shutdown, and what the window events set off.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/redraw.h"
#include "base/result.h"
#include "capture/numbered_snapshot.h"
#include "device/graphics_device.h"
#include "input/actions.h"
#include "platform/image_decoder.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "platform/shell.h"
#include "platform/window_events.h"
#include "render/model_object.h"
#include "render/overlay_quad.h"
#include "render/render_frame.h"

namespace app {

// The backends App runs on; `createDevice` makes the graphics device on the viewer once the
// shell has made it.
struct Platform {
    platform::Shell& shell;
    platform::Keyboard& keyboard;
    platform::Screen& screen;
    platform::ImageDecoder& decoder;
    device::DeviceFactory createDevice;
};

class App final : public input::Actions, public platform::WindowEvents, public platform::ScreenQuestionWatcher {
public:
    explicit App(Platform platform);
    ~App() override;
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Creates the windows, the graphics, the overlay and the model; or says what failed.
    base::Status startUp();
    // Drains events and runs idle passes, one per display period, until a quit is requested;
    // then shuts down and returns the exit code.
    int run();
    // Polls the keys, then draws and presents a frame if the picture would change.
    void idlePass();
    void shutdown();

    // input::Actions.
    void requestQuit(int exitCode) override;
    void frameGrab() override;
    void overlayCapture() override;
    void undoLastSave() override;

    // platform::WindowEvents.
    void onCaptureButton() override;
    void onFileDropped(const std::string& path) override;
    void onViewerClosed() override;
    void onViewerExposed() override;
    void onFrameResized() override;
    void onFrameMoved() override;
    void onExitButton() override;
    void onShootButton() override;
    void onPrefixChanged(const std::string& text) override;
    void onHelpKey() override;

    // platform::ScreenQuestionWatcher: while the desktop asks, the viewer keeps its picture and
    // says so, the frame leaves the question uncovered, and nothing else grabs or saves.
    void questionAsked() override;
    void whileAsked() override;
    void questionAnswered() override;

    AppState state;
    std::optional<int> quitCode() const { return quitCode_; }
    device::GraphicsDevice* device() { return device_.get(); }
    render::ModelObject* currentModel() { return currentModel_.get(); }
    render::OverlayQuad* currentOverlay() { return currentOverlay_.get(); }

private:
    // The model again from modelPath: read anew when its file changed or `readAgain` is set,
    // else only the textures whose files changed.
    void refreshModel(bool readAgain);
    // Passes on what a model load logged, unless the last load said the same.
    void reportModelLoad(const std::vector<std::string>& lines);
    // The problem line of the model shown: it has no mesh or lacks a texture; empty when neither.
    std::string modelProblem() const;
    void showProblem(std::string line);
    void drawFrame();
    // The frame on the screen drawn again as it was, with `problemLine` for its problem line.
    void drawShownFrame(const std::string& problemLine);
    // Appends the record line of a file just saved, and remembers it for a take-back.
    void recordSample(const capture::SavedSample& sample);

    Platform platform_;
    std::unique_ptr<device::GraphicsDevice> device_;
    std::unique_ptr<device::TextFont> textFont_;
    std::unique_ptr<render::OverlayQuad> currentOverlay_;
    std::unique_ptr<render::ModelObject> currentModel_;
    std::optional<int> quitCode_;
    bool framesDrawn_ = false;
    bool lastPassBusy_ = true;  // the last pass drew, or the one after it must
    RedrawDecision redraw_;
    bool dropped_ = false;  // a dropped file is always read, even when it looks unchanged
    std::vector<std::string> lastModelReport_;
    // What the record says of the view: the files' digests, taken when they are loaded or
    // grabbed (never per save), and the transforms of the frame on the screen.
    std::string modelSha256_;
    std::string textureSha256_;
    std::string overlaySha256_;
    render::Camera deviceCamera_;                // what the last frame left on the device
    render::Camera shownCamera_;                 // what the frame on the screen was drawn with
    std::optional<std::string> shownSavedLine_;  // the saved line of the frame on the screen
    // What went wrong with the last load, shown in the viewer until a load goes well.
    std::string problem_;
    std::string shownProblem_;  // the problem line of the frame on the screen
    base::Matrix shownWorld_ = base::Matrix::identity();
    state::ViewState shownView_;  // the overlay, light and values of the frame on the screen
    bool asking_ = false;         // a read waits for the user's answer to the desktop
    std::vector<capture::SavedSample> savedThisRun_;  // newest last: what F9 may take back
};

}  // namespace app
