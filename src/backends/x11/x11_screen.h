#pragma once
// Implements platform::Screen on X11: only the asked rectangle is read (the part inside the root
// window); the rest reads as black. Reads go through a shared-memory segment (MIT-SHM) kept
// between reads and grown when a larger picture is asked for, so a read costs little more than
// the server's own copy; displays without it (remote X, a failed attach, or
// NUKITORI_X11_NO_SHM=1 in the environment) are read with plain XGetImage. A read the server
// refuses fails with the server's reason.
// Does not: read the screen of a Wayland desktop (backends/wayland does), or scale.
#include <cstddef>
#include <memory>
#include <string>

#include "platform/screen.h"

typedef struct _XDisplay Display;

namespace backends::x11 {

class X11Screen final : public platform::Screen {
public:
    explicit X11Screen(Display* display);
    ~X11Screen() override;
    X11Screen(const X11Screen&) = delete;
    X11Screen& operator=(const X11Screen&) = delete;

    base::Result<base::Image> read(int x, int y, int width, int height) override;

private:
    struct Segment;
    bool readShared(int left, int top, int width, int height, base::Image& image, int dx, int dy);
    // Spelt out: Xlib defines Status as a macro.
    base::Result<base::Done> readPlain(int left, int top, int width, int height, base::Image& image, int dx,
                                       int dy);
    bool ensureSegment(std::size_t bytes);
    std::string failureReason(const std::string& xError) const;

    Display* display_;
    unsigned long source_;        // the window read: the root, but for the tests' unmapped one
    unsigned long unmapped_ = 0;  // made for NUKITORI_X11_READ_UNMAPPED
    bool wayland_ = false;        // a Wayland session or XWayland: reads of the root fail there
    bool shmUsable_ = false;
    std::unique_ptr<Segment> segment_;
};

}  // namespace backends::x11
