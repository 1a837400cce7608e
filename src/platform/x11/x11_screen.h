#pragma once
// Desktop pixels from the X server: only the asked rectangle is read (the part inside the root
// window); the rest reads as black. Reads go through a shared-memory segment (MIT-SHM) kept
// between reads and grown when a larger picture is asked for, so a read costs little more than
// the server's own copy; displays without it (remote X, a failed attach, or
// NUKITORI_X11_NO_SHM=1 in the environment) are read with plain XGetImage.
#include <cstddef>
#include <memory>

#include "platform/screen.h"

typedef struct _XDisplay Display;

namespace platform::x11 {

class X11Screen final : public Screen {
public:
    explicit X11Screen(Display* display);
    ~X11Screen() override;
    X11Screen(const X11Screen&) = delete;
    X11Screen& operator=(const X11Screen&) = delete;

    base::Image read(int x, int y, int width, int height) override;
    // Whether reads go through shared memory (for tests and benchmarks).
    bool sharedMemory() const { return shmUsable_; }

private:
    struct Segment;
    bool readShared(int left, int top, int width, int height, base::Image& image, int dx, int dy);
    bool readPlain(int left, int top, int width, int height, base::Image& image, int dx, int dy);
    bool ensureSegment(std::size_t bytes);

    Display* display_;
    bool shmUsable_ = false;
    std::unique_ptr<Segment> segment_;
};

}  // namespace platform::x11
