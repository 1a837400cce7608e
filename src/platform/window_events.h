#pragma once
// What happens to the windows, as a backend reports it: the one way a backend reaches the
// core. A backend calls these from its native events, on the thread that runs the loop.
#include <string>

namespace platform {

class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    virtual void onCaptureButton() = 0;                       // viewer button 1000
    virtual void onFileDropped(const std::string& path) = 0;  // UTF-8, first file of a drop
    virtual void onViewerClosed() = 0;
    // The viewer's picture was lost or damaged: it was exposed, resized, moved to another
    // screen, or its graphics surface was lost. The next pass draws it again.
    virtual void onViewerExposed() = 0;
    virtual void onFrameResized() = 0;
    virtual void onFrameMoved() = 0;                            // a drag of the frame has ended
    virtual void onExitButton() = 0;                            // frame button 1001
    virtual void onShootButton() = 0;                           // frame button 1002
    virtual void onPrefixChanged(const std::string& text) = 0;  // edit box 1003, UTF-8
    virtual void onHelpKey() {}                                 // F1 pressed in one of our windows
};

}  // namespace platform
