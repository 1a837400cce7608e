#pragma once
// The Windows shell: the viewer and the capture frame as native windows with BUTTON and EDIT
// controls, their events reported to the core's WindowEvents, the message loop's draining,
// the Direct3D 9 device on the viewer and the 60 Hz pace.
// Not here: key state (Win32Keyboard), screen reads (Win32Screen), decoding (WicImageDecoder).
#include <memory>

#include "platform/image_decoder.h"
#include "platform/shell.h"

namespace platform::win32 {

class Win32Shell final : public Shell {
public:
    // The frame's outline is decoded with `decoder`, which must outlive the shell.
    explicit Win32Shell(ImageDecoder& decoder);
    ~Win32Shell() override;
    Win32Shell(const Win32Shell&) = delete;
    Win32Shell& operator=(const Win32Shell&) = delete;

    void createViewer(app::WindowEvents& events) override;
    void createFrame(app::WindowEvents& events) override;
    base::Result<std::unique_ptr<render::GraphicsDevice>> createGraphicsDevice(int width,
                                                                               int height) override;
    void showCursor() override;
    void paceFrame() override;
    void processPendingEvents() override;
    std::optional<base::Rect> frameWindowRect() override;
    std::optional<std::string> frameEditText() override;
    base::Point viewerClientOrigin() override;

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

}  // namespace platform::win32
