#pragma once
// Implements platform::Shell with Win32: the viewer and the capture frame as native windows with
// BUTTON and EDIT controls, their events reported to the core's WindowEvents, the message
// loop's draining and the 60 Hz pace. Does not make the Direct3D 9 device (main pairs it with the
// viewer window), read keys (Win32Keyboard) or the screen (Win32Screen), or decode
// (WicImageDecoder).
#include <windows.h>

#include <memory>

#include "base/image.h"
#include "platform/shell.h"

namespace backends::win32 {

class Win32Shell final : public platform::Shell {
public:
    Win32Shell();
    ~Win32Shell() override;
    Win32Shell(const Win32Shell&) = delete;
    Win32Shell& operator=(const Win32Shell&) = delete;

    void createViewer(platform::WindowEvents& events) override;
    platform::OutlineShape createFrame(platform::WindowEvents& events, const base::Image& outline) override;
    void showCursor() override;
    void paceFrame() override;
    void processPendingEvents() override;
    std::optional<base::Rect> frameWindowRect() override;
    std::optional<std::string> frameEditText() override;
    base::Point viewerClientOrigin() override;
    void toggleKeyWindow(const std::string& text) override;

    // The viewer window the device draws on; null before createViewer.
    HWND viewerWindow() const;
    // Paints the viewer and its button again, over what making a device on it covered.
    void repaintViewer();

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

}  // namespace backends::win32
