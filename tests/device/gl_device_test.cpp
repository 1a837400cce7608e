// The conformance cases on the OpenGL device, through a Qt OpenGL context on an X server (the
// test runs under its own Xvfb; see run_with_xvfb.py).
#include "backends/gl/gl_device.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QWindow>

#include "backends/qt/qt_gl_context.h"
#include "backends/qt/qt_text_painter.h"
#include "device_conformance.h"

namespace {

class GlDeviceUnderTest final : public device_test::DeviceUnderTest {
public:
    static base::Result<std::unique_ptr<device_test::DeviceUnderTest>> make(int width, int height) {
        auto target = std::unique_ptr<GlDeviceUnderTest>(new GlDeviceUnderTest);
        target->window_.setSurfaceType(QSurface::OpenGLSurface);
        target->window_.resize(width, height);
        target->window_.create();
        auto context = backends::qt::QtGlContext::create(target->window_);
        if (!context) return context.failure();
        auto device = backends::gl::GlDevice::create(
            std::move(*context), std::make_unique<backends::qt::QtTextPainter>(), width, height);
        if (!device) return device.failure();
        target->device_ = std::move(*device);
        return std::unique_ptr<device_test::DeviceUnderTest>(std::move(target));
    }

    device::GraphicsDevice& device() override { return *device_; }
    base::Image readBackBuffer() override { return device_->readBackBuffer(); }

private:
    GlDeviceUnderTest() = default;
    // Declared first, so that it outlives the device's context on it.
    QWindow window_;
    std::unique_ptr<backends::gl::GlDevice> device_;
};

}  // namespace

namespace device_test {
// OpenGL puts pixel centres at half-integer window coordinates; shifting the device's picture by
// half a pixel to Direct3D 9's whole-number centres would change what the program shows (edges
// of the model, the overlay's point-sampled texels), so that is left to a deliberate decision.
const DeviceKind kGl{"Gl",
                     GlDeviceUnderTest::make,
                     {{"PixelCentresLieOnWholeCoordinates",
                       "pixel centres are half a pixel right of and below Direct3D 9's"}}};
INSTANTIATE_TEST_SUITE_P(Gl, DeviceConformance, ::testing::Values(kGl), deviceKindName);
}  // namespace device_test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The context comes from GLX on the X server the wrapper started, never from Wayland.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
