#pragma once
// What the key poll and the window handlers can set off.
namespace input {

class Actions {
public:
    virtual ~Actions() = default;
    virtual void requestQuit(int exitCode) = 0;
    virtual void frameGrab() = 0;
    virtual void overlayCapture() = 0;
    // Takes the last file this run saved back (F9).
    virtual void undoLastSave() = 0;
};

}  // namespace input
