// nukitori-replay on Linux: the frames drawn by the OpenGL device in a surfaceless EGL context,
// the texts by Qt's font engine and the pictures read by Qt, none of which needs a display.
#include "replay/replay.h"

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "backends/egl/egl_context.h"
#include "backends/gl/gl_device.h"
#include "backends/qt/qt_image_decoder.h"
#include "backends/qt/qt_text_painter.h"
#include "state/view_state.h"

namespace {

class HeadlessGl final : public replay::Renderer {
public:
    static base::Result<std::unique_ptr<replay::Renderer>> create() {
        std::unique_ptr<HeadlessGl> made(new HeadlessGl);
        auto context = backends::egl::EglContext::create(state::kBackBufferWidth, state::kBackBufferHeight);
        if (!context) return base::Failure{"no headless OpenGL: " + context.error()};
        made->context_ = context->get();
        auto device = backends::gl::GlDevice::create(std::move(*context),
                                                     std::make_unique<backends::qt::QtTextPainter>(),
                                                     state::kBackBufferWidth, state::kBackBufferHeight);
        if (!device) return base::Failure{"no OpenGL device: " + device.error()};
        made->device_ = std::move(*device);
        return std::unique_ptr<replay::Renderer>(std::move(made));
    }
    device::GraphicsDevice& device() override { return *device_; }
    platform::ImageDecoder& decoder() override { return decoder_; }
    const base::Image& frameAsShown() override {
        device_->present();
        context_->readPresented(frame_);
        return frame_;
    }

private:
    HeadlessGl() = default;
    backends::egl::EglContext* context_ = nullptr;  // owned by the device
    std::unique_ptr<backends::gl::GlDevice> device_;
    backends::qt::QtImageDecoder decoder_;
    base::Image frame_;  // read into again for every sample
};

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<QGuiApplication> application;
    return replay::run(std::vector<std::string>(argv + 1, argv + argc), [&] {
        // Text drawn with the system's fonts, pictures read by Qt: no display is needed for either.
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // Qt's own notes (a missing runtime folder, say) are nothing the user asked about.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "nukitori-replay: %s\n", message.toLocal8Bit().constData());
        });
        static int qtArgc = 1;
        static char* qtArgv[] = {argv[0], nullptr};
        if (!application) application = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
        return HeadlessGl::create();
    });
}
