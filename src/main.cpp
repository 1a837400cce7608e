// nukitori on Linux: Qt windows on X11, key state and screen pixels from X11, OpenGL graphics.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/app.h"
#include "base/log.h"
#include "platform/own_window_keys.h"
#include "platform/qt/qt_image_decoder.h"
#include "platform/qt/qt_shell.h"
#include "platform/x11/x11_keyboard.h"
#include "platform/x11/x11_screen.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>

int main() {
    base::setLogSink([](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
    });
    // Screen reading and key state come from X11; Wayland sessions run nukitori through XWayland.
    qputenv("QT_QPA_PLATFORM", "xcb");
    // One back-buffer pixel is one screen pixel.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "nukitori: cannot open the X display \"%s\"; nukitori needs an X11 session\n",
                     name ? name : "");
        return 1;
    }

    // The program reads no command line.
    int argc = 1;
    char name[] = "nukitori";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    platform::OwnWindowKeys ownKeys;
    platform::qt::QtShell shell(display, ownKeys);
    platform::x11::X11Keyboard keyboard(display, ownKeys);
    platform::x11::X11Screen screen(display);
    platform::qt::QtImageDecoder decoder;
    app::App app({shell, keyboard, screen, decoder});

    if (const auto started = app.startUp(); !started) {
        std::fprintf(stderr, "nukitori: %s\n", started.error().c_str());
        return 1;
    }
    return app.run();
}
