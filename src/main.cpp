// nukitori on Linux: Qt windows on X11, key state and screen pixels from X11, OpenGL graphics.
#include <QApplication>
#include <QDBusConnection>
#include <QFontDatabase>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

#include "app/app.h"
#include "app/command_line.h"
#include "app/work_folder.h"
#include "backends/gl/gl_device.h"
#include "backends/qt/qt_image_decoder.h"
#include "backends/qt/qt_shell.h"
#include "backends/qt/qt_text_painter.h"
#include "backends/wayland/portal_screen.h"
#include "backends/x11/own_window_keys.h"
#include "backends/x11/wayland_desktop.h"
#include "backends/x11/x11_keyboard.h"
#include "backends/x11/x11_screen.h"
#include "base/log.h"
#include "base/os/home_folder.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The installed sample files: <prefix>/share/nukitori beside <prefix>/bin, wherever the prefix is.
std::string dataFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return (program.parent_path() / "../share/nukitori").lexically_normal().string();
}

// Moves into the folder the program works in; nullopt to go on, else the exit code.
std::optional<int> enterWorkFolder(const app::CommandLine& command) {
    // Spelt out: Xlib defines Status as a macro.
    base::Result<base::Done> entered = base::Done{};
    if (!command.workFolder.empty()) {
        entered = app::enterWorkFolder(command.workFolder);
    } else if (command.menuStart || environment("NUKITORI_STARTED_FROM") == "menu") {
        // The desktop entry sets the marker (the variable, or --menu): a menu start has no
        // directory of the user's choosing.
        entered = app::enterMenuWorkFolder(environment("HOME"), environment("XDG_CONFIG_HOME"), dataFolder());
    }
    if (entered) return std::nullopt;
    std::fprintf(stderr, "nukitori: %s\n", entered.error().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    base::setLogSink([](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
    });

    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const app::CommandLine command = app::parseCommandLine(arguments);
    switch (command.action) {
        case app::CommandLine::Action::ShowHelp:
            std::fputs(app::helpText().c_str(), stdout);
            return 0;
        case app::CommandLine::Action::ShowVersion:
            std::printf("%s\n", app::versionText(NUKITORI_VERSION).c_str());
            return 0;
        case app::CommandLine::Action::Misuse:
            std::fprintf(stderr, "nukitori: %s; %s\n", command.problem.c_str(), app::kUsage.data());
            return 2;
        case app::CommandLine::Action::Run:
            break;
    }
    // Screen reading and key state come from X11; Wayland sessions run nukitori through XWayland.
    qputenv("QT_QPA_PLATFORM", "xcb");
    // One back-buffer pixel is one screen pixel, whatever scaling the user's environment asks
    // Qt for: a scaled window would show and save pixels other than the framed ones.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    for (const char* scaling :
         {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
          "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_USE_PHYSICAL_DPI", "QT_DEVICE_PIXEL_RATIO"})
        qunsetenv(scaling);
    // Without a named session bus, Qt's bus library would start dbus-launch to make one, which
    // costs a visible part of start-up and could serve nothing nukitori uses (the portal and
    // accessibility are on the user's own bus). The user's bus is where the session bus is
    // looked for anyway; named, it is only tried.
    if (environment("DBUS_SESSION_BUS_ADDRESS").empty()) {
        const std::string runtime = environment("XDG_RUNTIME_DIR");
        const std::string folder = runtime.empty() ? "/run/user/" + std::to_string(getuid()) : runtime;
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString("unix:path=" + folder + "/bus"));
    }

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "nukitori: cannot open the X display \"%s\"; nukitori needs an X11 session\n",
                     name ? name : "");
        return 1;
    }
    // Only a program that can start makes or seeds its working folder.
    if (const auto exitCode = enterWorkFolder(command)) {
        XCloseDisplay(display);
        return *exitCode;
    }

    // Qt sees none of our options: its own (-display, -style, …) are not nukitori's.
    int qtArgc = 1;
    char name[] = "nukitori";
    char* qtArgv[] = {name, nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt reads the font configuration and lists every installed face the first time a text is
    // measured, well after the viewer's OpenGL set-up has begun: done here beside that set-up, it
    // is ready by then (the font database serialises its users, so the windows wait for nothing
    // more than what is left of it). Joined before Qt goes.
    std::jthread fontWarmUp([] { QFontDatabase::families(); });
    // Likewise Qt's accessibility bridge waits for the session bus when the first control gets
    // its text; asked for here, the bus is connected (or found missing) sooner.
    std::jthread busWarmUp([] { QDBusConnection::sessionBus(); });

    backends::x11::OwnWindowKeys ownKeys;
    backends::qt::QtShell shell(display, ownKeys);
    backends::x11::X11Keyboard keyboard(display, ownKeys);
    backends::qt::QtImageDecoder decoder;
    // A Wayland desktop runs nukitori through XWayland, whose root window cannot be read: there
    // the pixels come through the desktop portal, which asks the user at the first grab or capture.
    std::unique_ptr<platform::Screen> screen = std::make_unique<backends::x11::X11Screen>(display);
    bool portal = backends::x11::onWaylandDesktop(display);
    if (!portal) {
        if (const auto probe = screen->read(0, 0, 1, 1); !probe) {
            std::fprintf(stderr, "nukitori: %s; the screen is read through the desktop portal instead\n",
                         probe.error().c_str());
            portal = true;
        }
    }
    if (portal) {
        const int screenNumber = DefaultScreen(display);
        const std::string home = base::homeFolder(environment("HOME"));
        const std::string config = app::configFolder(home, environment("XDG_CONFIG_HOME"));
        screen = std::make_unique<backends::wayland::PortalScreen>(
            decoder, DisplayWidth(display, screenNumber), DisplayHeight(display, screenNumber),
            config.empty() ? std::string() : config + "/nukitori",
            app::picturesFolder(home, environment("XDG_CONFIG_HOME")));
    }
    // The OpenGL device on the shell's viewer, its texts painted by Qt.
    app::App app(
        {shell, keyboard, *screen, decoder,
         backends::gl::deviceFactory([&shell] { return shell.createViewerContext(); },
                                     [] { return std::make_unique<backends::qt::QtTextPainter>(); })});

    if (const auto started = app.startUp(); !started) {
        std::fprintf(stderr, "nukitori: %s\n", started.error().c_str());
        return 1;
    }
    return app.run();
}
