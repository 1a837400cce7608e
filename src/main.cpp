// nukitori: chooses the Linux backend (Qt windows on X11, OpenGL) and hands it to the core.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/app.h"
#include "platform/qt/qt_image_decoder.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/x11_keyboard.h"
#include "platform/qt/x11_screen.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>

int main() {
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

    platform::qt::QtShell shell(display);
    platform::qt::X11Keyboard keyboard(display);
    platform::qt::X11Screen screen(display);
    platform::qt::QtImageDecoder decoder;
    app::App app({shell, keyboard, screen, decoder});
    shell.attach(app, keyboard);

    std::string error;
    if (!app.startUp(error)) {
        std::fprintf(stderr, "nukitori: %s\n", error.c_str());
        return 1;
    }
    return app.run();
}
