#include "platform/x11/x11_screen.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform::x11 {

namespace {

int shiftOf(unsigned long mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int bitsOf(unsigned long mask) {
    int bits = 0;
    for (; mask; mask >>= 1) bits += static_cast<int>(mask & 1);
    return bits;
}

// Scales a channel of `bits` bits to eight bits.
std::uint32_t widen(unsigned long value, int bits) {
    if (bits >= 8) return static_cast<std::uint32_t>(value >> (bits - 8)) & 0xFF;
    if (bits <= 0) return 0;
    return static_cast<std::uint32_t>((value * 255 + ((1ul << bits) - 1) / 2) / ((1ul << bits) - 1));
}

// The pixels of `xi` into `image` at (dx, dy), whatever the visual's layout.
void convert(XImage* xi, base::Image& image, int dx, int dy) {
    const int rs = shiftOf(xi->red_mask), gs = shiftOf(xi->green_mask), bs = shiftOf(xi->blue_mask);
    const int rb = bitsOf(xi->red_mask), gb = bitsOf(xi->green_mask), bb = bitsOf(xi->blue_mask);
    const bool fast = xi->bits_per_pixel == 32 && rs == 16 && gs == 8 && bs == 0 && rb == 8 && gb == 8 &&
                      bb == 8 && xi->byte_order == LSBFirst;
    const int width = xi->width, height = xi->height;
    for (int row = 0; row < height; ++row) {
        std::uint32_t* __restrict out = &image.at(dx, dy + row);
        if (fast) {
            // Two pixels a step: the loop is bound by memory, not by the arithmetic.
            const char* in = xi->data + row * xi->bytes_per_line;
            int col = 0;
            for (; col + 2 <= width; col += 2) {
                std::uint64_t pair;
                std::memcpy(&pair, in + col * 4, 8);
                pair |= 0xFF000000FF000000ull;
                std::memcpy(out + col, &pair, 8);
            }
            for (; col < width; ++col) {
                std::uint32_t pixel;
                std::memcpy(&pixel, in + col * 4, 4);
                out[col] = 0xFF000000u | pixel;
            }
            continue;
        }
        for (int col = 0; col < width; ++col) {
            const unsigned long p = XGetPixel(xi, col, row);
            out[col] = 0xFF000000u | (widen((p & xi->red_mask) >> rs, rb) << 16) |
                       (widen((p & xi->green_mask) >> gs, gb) << 8) | widen((p & xi->blue_mask) >> bs, bb);
        }
    }
}

// X errors while reading (a segment that cannot be attached, a root that cannot be read) are
// noted here instead of ending the program, as Xlib's default handler would.
int xErrors = 0;
int noteError(Display*, XErrorEvent*) {
    ++xErrors;
    return 0;
}

// Errors of a request with a reply (XGetImage, XShmGetImage) arrive before its reply; those
// of one without (XShmAttach) need a round trip to arrive.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display_(display), before_(xErrors) {
        previous_ = XSetErrorHandler(noteError);
    }
    ~ErrorTrap() { XSetErrorHandler(previous_); }
    bool failed() const { return xErrors != before_; }
    bool failedAfterSync() {
        XSync(display_, False);
        return failed();
    }

private:
    Display* display_;
    int before_;
    int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

}  // namespace

struct X11Screen::Segment {
    XShmSegmentInfo info{};
    std::size_t bytes = 0;
    Display* display = nullptr;
    bool attached = false;
    ~Segment() {
        if (attached) {
            XShmDetach(display, &info);
            XSync(display, False);
        }
        if (info.shmaddr && info.shmaddr != reinterpret_cast<char*>(-1)) shmdt(info.shmaddr);
    }
};

X11Screen::X11Screen(Display* display) : display_(display) {
    const char* off = std::getenv("NUKITORI_X11_NO_SHM");
    shmUsable_ = !(off && *off && std::strcmp(off, "0") != 0) && XShmQueryExtension(display_);
}

X11Screen::~X11Screen() = default;

bool X11Screen::ensureSegment(std::size_t bytes) {
    if (segment_ && segment_->bytes >= bytes) return true;
    segment_.reset();
    auto segment = std::make_unique<Segment>();
    segment->display = display_;
    // Grown in steps, so a picture that grows a little at a time does not reattach every read.
    segment->bytes = std::max<std::size_t>(bytes + bytes / 2, 1 << 20);
    segment->info.shmid = shmget(IPC_PRIVATE, segment->bytes, IPC_CREAT | 0600);
    if (segment->info.shmid < 0) return false;
    segment->info.shmaddr = static_cast<char*>(shmat(segment->info.shmid, nullptr, 0));
    // Marked for removal now: it goes away with the last detach, even if the program dies.
    shmctl(segment->info.shmid, IPC_RMID, nullptr);
    if (segment->info.shmaddr == reinterpret_cast<char*>(-1)) return false;
    segment->info.readOnly = False;
    ErrorTrap trap(display_);
    segment->attached = XShmAttach(display_, &segment->info) != 0;
    if (trap.failedAfterSync()) segment->attached = false;
    if (!segment->attached) return false;
    segment_ = std::move(segment);
    return true;
}

bool X11Screen::readShared(int left, int top, int width, int height, base::Image& image, int dx, int dy) {
    const int screen = DefaultScreen(display_);
    XImage* xi = XShmCreateImage(display_, DefaultVisual(display_, screen),
                                 static_cast<unsigned>(DefaultDepth(display_, screen)), ZPixmap, nullptr,
                                 nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!xi) return false;
    const std::size_t bytes = static_cast<std::size_t>(xi->bytes_per_line) * static_cast<std::size_t>(height);
    bool ok = ensureSegment(bytes);
    if (ok) {
        xi->data = segment_->info.shmaddr;
        xi->obdata = reinterpret_cast<char*>(&segment_->info);
        ErrorTrap trap(display_);
        ok = XShmGetImage(display_, DefaultRootWindow(display_), xi, left, top, AllPlanes) != 0;
        if (trap.failed()) ok = false;
        if (ok) convert(xi, image, dx, dy);
    }
    xi->data = nullptr;  // the segment's memory is not the image's to free
    XDestroyImage(xi);
    return ok;
}

bool X11Screen::readPlain(int left, int top, int width, int height, base::Image& image, int dx, int dy) {
    ErrorTrap trap(display_);
    XImage* xi = XGetImage(display_, DefaultRootWindow(display_), left, top, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), AllPlanes, ZPixmap);
    const bool failed = trap.failed();
    if (!xi) return false;
    if (!failed) convert(xi, image, dx, dy);
    XDestroyImage(xi);
    return !failed;
}

base::Image X11Screen::read(int x, int y, int width, int height) {
    const int screen = DefaultScreen(display_);
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min(x + width, DisplayWidth(display_, screen));
    const int bottom = std::min(y + height, DisplayHeight(display_, screen));
    // Left unset: the part on the screen is read into it and the rest made black.
    base::Image image = base::Image::uncleared(width, height);
    bool read = false;
    if (right > left && bottom > top) {
        if (shmUsable_) {
            read = readShared(left, top, right - left, bottom - top, image, left - x, top - y);
            // A display that refuses the segment keeps refusing it.
            if (!read) {
                shmUsable_ = false;
                segment_.reset();
            }
        }
        if (!read) read = readPlain(left, top, right - left, bottom - top, image, left - x, top - y);
    }
    const bool whole = read && left == x && top == y && right == x + width && bottom == y + height;
    if (!whole) {
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col) {
                const bool onScreen =
                    read && x + col >= left && x + col < right && y + row >= top && y + row < bottom;
                if (!onScreen) image.at(col, row) = 0xFF000000u;
            }
    }
    return image;
}

}  // namespace platform::x11
