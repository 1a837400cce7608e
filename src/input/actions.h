#pragma once
// What the key poll and the window handlers can set off.
namespace input {

class Actions {
public:
    virtual ~Actions() = default;
    virtual void requestQuit(int exitCode) = 0;
    virtual void frameGrab() = 0;
    virtual void overlayCapture() = 0;
};

}  // namespace input
