#pragma once
// Implements platform::Screen on a Wayland desktop, where the X server (XWayland) will not give its
// root window: through the desktop portal. The first read opens a screen-cast session of one
// monitor (the desktop asks the user once; the restore token kept in the user's config folder
// spares later starts the question) and keeps its PipeWire stream while reads follow each other;
// a few idle seconds stop it. Where screen-casting is missing, refused or broken, each read takes
// a screenshot instead.
// Does not: read DMA-BUF streams (they would need a GPU), or more than one monitor.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "backends/wayland/restore_token.h"
#include "backends/wayland/stream_frame.h"
#include "platform/image_decoder.h"
#include "platform/screen.h"

namespace backends::wayland {

class PortalBus;
class PipeWireStream;
struct PortalCall;
struct PortalResponse;

class PortalScreen final : public platform::Screen {
public:
    // `rootWidth` x `rootHeight`: the X screen, which a whole-desktop screenshot covers.
    // `tokenFolder`: where the restore token is kept (empty: nowhere). `picturesFolder`: the
    // user's, where desktops put the screenshots they make (empty when unknown).
    PortalScreen(platform::ImageDecoder& decoder, int rootWidth, int rootHeight, std::string tokenFolder,
                 std::string picturesFolder);
    ~PortalScreen() override;
    PortalScreen(const PortalScreen&) = delete;
    PortalScreen& operator=(const PortalScreen&) = delete;

    base::Result<base::Image> read(int x, int y, int width, int height) override;
    void watchQuestions(platform::ScreenQuestionWatcher* watcher) override;

    static constexpr auto kIdleStop = std::chrono::seconds(3);
    // A desktop that remembers the permission answers within milliseconds; an answer still
    // missing after this is taken as a question on the screen.
    static constexpr auto kQuestionShown = std::chrono::milliseconds(250);

private:
    base::Status connectBus();
    base::Status startCast();
    void stopCast();
    base::Result<base::Image> readCast(int x, int y, int width, int height);
    base::Result<base::Image> readScreenshot(int x, int y, int width, int height);
    void watchIdle();
    // A call that may ask the user, with the watcher told while it waits.
    base::Result<PortalResponse> askUser(const PortalCall& call);

    platform::ImageDecoder& decoder_;
    platform::ScreenQuestionWatcher* questions_ = nullptr;
    const int rootWidth_, rootHeight_;
    const std::string picturesFolder_;

    std::mutex mutex_;  // everything below
    RestoreTokenFile token_;
    std::unique_ptr<PortalBus> bus_;
    std::string session_;
    std::unique_ptr<PipeWireStream> stream_;
    DesktopPlace place_;
    bool screenshotsOnly_ = false;  // screen-casting failed and screenshots worked
    std::chrono::steady_clock::time_point lastRead_;
    bool ending_ = false;
    std::condition_variable wake_;
    std::thread watcher_;
};

}  // namespace backends::wayland
