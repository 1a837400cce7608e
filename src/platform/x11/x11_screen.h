#pragma once
// Desktop pixels from the X server: only the asked rectangle is read (XGetImage of the part
// inside the root window); the rest reads as black.
#include "platform/screen.h"

typedef struct _XDisplay Display;

namespace platform::x11 {

class X11Screen final : public Screen {
public:
    explicit X11Screen(Display* display);
    base::Image read(int x, int y, int width, int height) override;

private:
    Display* display_;
};

}  // namespace platform::x11
