#pragma once
// Implements platform::Screen with GDI: BitBlt from the screen into a DIB section the size of the
// picture. Only the part inside the virtual screen is read; the rest stays black. A read the
// system refuses (a secure desktop, a locked session) fails with the system's reason.
// Does not: read DirectX exclusive full-screen surfaces.
#include <memory>

#include "platform/screen.h"

namespace backends::win32 {

class Win32Screen final : public platform::Screen {
public:
    Win32Screen();
    ~Win32Screen() override;
    Win32Screen(const Win32Screen&) = delete;
    Win32Screen& operator=(const Win32Screen&) = delete;

    base::Result<base::Image> read(int x, int y, int width, int height) override;

private:
    struct Buffer;
    std::unique_ptr<Buffer> buffer_;
};

}  // namespace backends::win32
