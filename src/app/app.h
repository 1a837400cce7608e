#pragma once
// Start-up, the main loop and shutdown, and the handlers the window backends call.
#include <memory>
#include <optional>
#include <string>

#include "app/actions.h"
#include "app/app_state.h"
#include "platform/image_decoder.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "platform/shell.h"
#include "render/graphics_device.h"
#include "render/model_object.h"
#include "render/overlay_quad.h"

namespace app {

struct Platform {
    platform::Shell& shell;
    platform::Keyboard& keyboard;
    platform::Screen& screen;
    platform::ImageDecoder& decoder;
};

class App final : public Actions {
public:
    explicit App(Platform platform);
    ~App() override;
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Creates the windows, the graphics, the overlay and the model. On failure returns false
    // with the reason in `error`.
    bool startUp(std::string& error);
    // Drains events and runs idle passes until a quit is requested; then shuts down and
    // returns the exit code.
    int run();
    void idlePass();
    void shutdown();

    // Actions.
    void requestQuit(int exitCode) override;
    void frameGrab() override;
    void overlayCapture() override;

    // Window handlers (called by the backends from their events).
    void onCaptureButton();  // viewer button 1000
    void onFileDropped(const std::string& path);
    void onViewerClosed();
    void onFrameResized();
    void onFrameMoved();                            // the modal move of a drag has ended
    void onShootButton();                           // frame button 1002
    void onExitButton();                            // frame button 1001
    void onPrefixChanged(const std::string& text);  // edit box 1003

    AppState state;
    std::optional<int> quitCode() const { return quitCode_; }
    render::GraphicsDevice* device() { return device_.get(); }
    render::ModelObject* currentModel() { return currentModel_.get(); }
    render::OverlayQuad* currentOverlay() { return currentOverlay_.get(); }
    Platform& platform() { return platform_; }

private:
    void refreshModel();

    Platform platform_;
    std::unique_ptr<render::GraphicsDevice> device_;
    std::unique_ptr<render::TextFont> textFont_;
    std::unique_ptr<render::OverlayQuad> currentOverlay_;
    std::unique_ptr<render::ModelObject> currentModel_;
    std::optional<int> quitCode_;
};

}  // namespace app
