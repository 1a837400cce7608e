// The conformance cases on the Direct3D 9 device, each on a window of its own (under Wine the
// test needs an X server: run it on a private Xvfb).
#include "backends/d3d9/d3d9_device.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "device_conformance.h"
#include "fixed_function_reference.h"

namespace {

constexpr wchar_t kWindowClass[] = L"nukitori_d3d9_device_test";

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// A top-level window whose client area is the back buffer's size; destroyed with its owner.
class TestWindow {
public:
    TestWindow(int width, int height) {
        static const ATOM registered = [] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = windowProcedure;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = kWindowClass;
            return RegisterClassW(&windowClass);
        }();
        if (!registered) return;
        RECT frame{0, 0, width, height};
        AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
        handle_ = CreateWindowExW(0, kWindowClass, L"device test", WS_OVERLAPPEDWINDOW, 0, 0,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    }
    ~TestWindow() {
        if (handle_) DestroyWindow(handle_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND handle() const { return handle_; }

private:
    HWND handle_ = nullptr;
};

class D3d9DeviceUnderTest final : public device_test::DeviceUnderTest {
public:
    static base::Result<std::unique_ptr<device_test::DeviceUnderTest>> make(int width, int height) {
        auto target = std::unique_ptr<D3d9DeviceUnderTest>(new D3d9DeviceUnderTest(width, height));
        if (!target->window_.handle()) return base::Failure{"the test window could not be created"};
        // The cases draw no text, so no painter is needed.
        auto device = backends::d3d9::D3d9Device::create(target->window_.handle(), nullptr, width, height);
        if (!device) return device.failure();
        target->device_ = std::move(*device);
        return std::unique_ptr<device_test::DeviceUnderTest>(std::move(target));
    }

    device::GraphicsDevice& device() override { return *device_; }
    base::Image readBackBuffer() override { return device_->readBackBuffer(); }

private:
    D3d9DeviceUnderTest(int width, int height) : window_(width, height) {}
    // Declared first, so that it outlives the device bound to it.
    TestWindow window_;
    std::unique_ptr<backends::d3d9::D3d9Device> device_;
};

// A picture that shows where each of its pixels lands: a checkerboard of the text colour and
// transparent pixels, with its top-left and bottom-right pixels marked in green and white.
class CheckerPainter final : public device::TextPainter {
public:
    int calls = 0;
    base::Image paint(const std::string& text, std::uint32_t colour, int pixelHeight) override {
        ++calls;
        base::Image picture(static_cast<int>(text.size()) * 6, pixelHeight);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) picture.at(x, y) = (x + y) % 2 ? colour : 0x00000000;
        picture.at(0, 0) = 0xFF00FF00;
        picture.at(picture.width - 1, picture.height - 1) = 0xFFFFFFFF;
        return picture;
    }
};

void drawQuad(device::GraphicsDevice& device, float left, float top, float right, float bottom, float z,
              std::uint32_t colour) {
    const device_test::ScreenVertex quad[] = {{left, top, z, 1, colour, 0, 0},
                                              {right, top, z, 1, colour, 0, 0},
                                              {left, bottom, z, 1, colour, 0, 0},
                                              {right, bottom, z, 1, colour, 0, 0}};
    auto buffer = device.createVertexBuffer(sizeof quad, device::kFvfXyzrhwDiffuseTex1);
    ASSERT_NE(buffer, nullptr);
    std::memcpy(buffer->lock(), quad, sizeof quad);
    buffer->unlock();
    device.setStreamSource(0, buffer.get(), 0, sizeof(device_test::ScreenVertex));
    device.setFvf(device::kFvfXyzrhwDiffuseTex1);
    device.drawPrimitive(device::PrimitiveType::TriangleStrip, 0, 2);
}

// The conformance cases draw no text; the text font is this device's own.
TEST(D3d9TextFont, PutsThePaintedPicturePixelForPixelAndLeavesTheFrameStatesAsTheyWere) {
    using device_test::fromArgb;
    using device_test::showsColour;
    constexpr int kSize = 64, kLeft = 5, kTop = 7;
    TestWindow window(kSize, kSize);
    auto painter = std::make_unique<CheckerPainter>();
    CheckerPainter& counted = *painter;
    auto made = backends::d3d9::D3d9Device::create(window.handle(), std::move(painter), kSize, kSize);
    ASSERT_TRUE(made) << made.error();
    backends::d3d9::D3d9Device& device = **made;
    auto font = device.createTextFont(12);
    ASSERT_NE(font, nullptr);

    device.beginScene();
    device.clear(device::kClearTarget | device::kClearZBuffer, 0xFF000000, 1.0f, 0);
    // The frame's own states: diffuse times diffuse, additive blending, and a near quad in the
    // depth buffer.
    device.setTextureStageState(0, device::TextureStageState::ColorOp, device::kTopModulate);
    device.setTextureStageState(0, device::TextureStageState::ColorArg1, device::kTaDiffuse);
    device.setRenderState(device::RenderState::AlphaBlendEnable, 1);
    device.setRenderState(device::RenderState::SrcBlend, device::kBlendOne);
    device.setRenderState(device::RenderState::DestBlend, device::kBlendOne);
    drawQuad(device, 40, 40, 60, 60, 0.25f, 0xFF00FF00);
    font->drawText(kLeft, kTop, "abcd", 0xFFFF0000);
    font->drawText(kLeft, kTop, "abcd", 0xFFFF0000);
    // Half blue, squared and added over the text's lower half and over the near quad, where the
    // depth test hides it.
    drawQuad(device, 0, 13, 64, 64, 0.5f, 0x80000080);
    device.endScene();
    const base::Image image = device.readBackBuffer();

    EXPECT_EQ(counted.calls, 1) << "the same text in the same colour is painted once";
    const double added = (128 / 255.0) * (128 / 255.0);
    const int width = 24, height = 12;
    for (int y = kTop - 1; y <= kTop + height; ++y)
        for (int x = kLeft - 1; x <= kLeft + width; ++x) {
            const int px = x - kLeft, py = y - kTop;
            std::uint32_t text = 0xFF000000;
            if (px >= 0 && px < width && py >= 0 && py < height) {
                if ((px + py) % 2) text = 0xFFFF0000;
                if (px == 0 && py == 0) text = 0xFF00FF00;
                if (px == width - 1 && py == height - 1) text = 0xFFFFFFFF;
            }
            device_test::Rgba expected = fromArgb(text);
            if (y >= 13) expected.b = std::min(1.0, expected.b + added);
            EXPECT_TRUE(showsColour(image, x, y, expected)) << "picture pixel (" << px << ", " << py << ")";
        }
    EXPECT_TRUE(showsColour(image, 50, 50, fromArgb(0xFF00FF00)))
        << "the depth test no longer hides what is behind";
    EXPECT_TRUE(showsColour(image, 30, 50, {0, 0, added, 1})) << "beside the near quad";
}

}  // namespace

namespace device_test {
const DeviceKind kD3d9{"D3d9", D3d9DeviceUnderTest::make, {}};
INSTANTIATE_TEST_SUITE_P(D3d9, DeviceConformance, ::testing::Values(kD3d9), deviceKindName);
}  // namespace device_test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
