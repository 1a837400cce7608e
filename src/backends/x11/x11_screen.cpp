#include "backends/x11/x11_screen.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "backends/x11/wayland_desktop.h"
#include "backends/x11/x11_pixel.h"
#include "platform/screen_clip.h"

namespace backends::x11 {

namespace {

// The pixels of `xi` into `image` at (dx, dy), whatever the visual's layout.
void convert(XImage* xi, base::Image& image, int dx, int dy) {
    const PixelLayout layout(xi->red_mask, xi->green_mask, xi->blue_mask);
    const bool fast = xi->bits_per_pixel == 32 && xi->red_mask == 0xFF0000 && xi->green_mask == 0xFF00 &&
                      xi->blue_mask == 0xFF && xi->byte_order == LSBFirst;
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
        for (int col = 0; col < width; ++col) out[col] = layout.argb(XGetPixel(xi, col, row));
    }
}

// X errors while reading (a segment that cannot be attached, a root that cannot be read) are
// noted here instead of ending the program, as Xlib's default handler would.
int xErrors = 0;
unsigned char lastErrorCode = 0;
int noteError(Display*, XErrorEvent* event) {
    ++xErrors;
    lastErrorCode = event->error_code;
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
    // The error in the X server's words, such as "BadMatch (invalid parameter attributes)".
    std::string error() const {
        char text[128] = "";
        XGetErrorText(display_, lastErrorCode, text, sizeof text);
        return text;
    }
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

namespace {

bool environmentFlag(const char* name) {
    const char* value = std::getenv(name);
    return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace

X11Screen::X11Screen(Display* display) : display_(display), source_(DefaultRootWindow(display)) {
    shmUsable_ = !environmentFlag("NUKITORI_X11_NO_SHM") && XShmQueryExtension(display_);
    wayland_ = onWaylandDesktop(display_);
    if (environmentFlag("NUKITORI_X11_READ_UNMAPPED")) {
        unmapped_ = XCreateSimpleWindow(display_, source_, 0, 0, 1, 1, 0, 0, 0);
        source_ = unmapped_;
    }
}

X11Screen::~X11Screen() {
    segment_.reset();
    if (unmapped_) XDestroyWindow(display_, unmapped_);
}

std::string X11Screen::failureReason(const std::string& xError) const {
    if (wayland_) return "the screen cannot be read through X on this Wayland session";
    if (xError.empty()) return "the X server gave no picture of the screen";
    return "the X server refuses to give the screen's pixels: " + xError;
}

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
        ok = XShmGetImage(display_, source_, xi, left, top, AllPlanes) != 0;
        if (trap.failed()) ok = false;
        if (ok) convert(xi, image, dx, dy);
    }
    xi->data = nullptr;  // the segment's memory is not the image's to free
    XDestroyImage(xi);
    return ok;
}

base::Result<base::Done> X11Screen::readPlain(int left, int top, int width, int height, base::Image& image,
                                              int dx, int dy) {
    ErrorTrap trap(display_);
    XImage* xi = XGetImage(display_, source_, left, top, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), AllPlanes, ZPixmap);
    const bool failed = trap.failed();
    base::Result<base::Done> status = base::Done{};
    if (failed || !xi) status = base::Failure{failureReason(failed ? trap.error() : std::string())};
    if (xi && !failed) convert(xi, image, dx, dy);
    if (xi) XDestroyImage(xi);
    return status;
}

base::Result<base::Image> X11Screen::read(int x, int y, int width, int height) {
    const int screen = DefaultScreen(display_);
    const base::Rect part = platform::onScreenPart(
        x, y, width, height, {0, 0, DisplayWidth(display_, screen), DisplayHeight(display_, screen)});
    const int left = part.left, top = part.top, right = part.right, bottom = part.bottom;
    // Left unset: the part on the screen is read into it and the rest made black.
    base::Image image = base::Image::uncleared(width, height);
    bool read = false;
    if (part.width() > 0) {
        if (shmUsable_) {
            read = readShared(left, top, right - left, bottom - top, image, left - x, top - y);
            // A display that refuses the segment keeps refusing it.
            if (!read) {
                shmUsable_ = false;
                segment_.reset();
            }
        }
        if (!read) {
            // A screen that cannot be read is a failed read, never a black picture.
            if (auto plain = readPlain(left, top, right - left, bottom - top, image, left - x, top - y);
                !plain)
                return plain.failure();
            read = true;
        }
    }
    if (!platform::wholeRectangle(part, x, y, width, height)) platform::blackOutside(image, x, y, part);
    return image;
}

}  // namespace backends::x11
