#pragma once
// The device conformance cases: one set of cases that every graphics device runs, each drawing
// through device::GraphicsDevice and comparing the back buffer's pixels with what Direct3D 9's
// fixed-function pipeline gives, worked out in fixed_function_reference.h. A per-device test
// file supplies the device and instantiates the suite in namespace device_test:
//
//   INSTANTIATE_TEST_SUITE_P(Gl, DeviceConformance, ::testing::Values(DeviceKind{"Gl", makeGl, {}}),
//                            deviceKindName);
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/image.h"
#include "base/result.h"
#include "device/graphics_device.h"

namespace device_test {

// A device with a back buffer that can be read.
class DeviceUnderTest {
public:
    virtual ~DeviceUnderTest() = default;
    virtual device::GraphicsDevice& device() = 0;
    // The back buffer as 0xAARRGGBB, top row first, after endScene().
    virtual base::Image readBackBuffer() = 0;
};

struct DeviceKind {
    std::string name;
    // A fresh device in its initial states with a back buffer of the given size.
    std::function<base::Result<std::unique_ptr<DeviceUnderTest>>(int width, int height)> make;
    // Cases this device is known to fail, by name, with the reason; they are skipped and say so.
    std::map<std::string, std::string> knownFaults;
};
std::string deviceKindName(const ::testing::TestParamInfo<DeviceKind>& info);
void PrintTo(const DeviceKind& kind, std::ostream* out);

// The vertex of the pre-transformed format kFvfXyzrhwDiffuseTex1.
struct ScreenVertex {
    float x, y, z, rhw;
    std::uint32_t colour;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

class DeviceConformance : public ::testing::TestWithParam<DeviceKind> {
protected:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 64;

    void SetUp() override;
    void TearDown() override;
    device::GraphicsDevice& device() { return target_->device(); }
    base::Image readBackBuffer() { return target_->readBackBuffer(); }

    // Draws pre-transformed vertices through a vertex buffer.
    void drawScreen(device::PrimitiveType type, const std::vector<ScreenVertex>& vertices);
    // An axis-aligned quad as a two-triangle strip, as the program's overlay draws it.
    void drawQuad(float left, float top, float right, float bottom, std::uint32_t colour, float z = 0.5f,
                  float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1);
    void setStage(std::uint32_t colourOp, std::uint32_t colourArg1, std::uint32_t colourArg2,
                  std::uint32_t alphaOp, std::uint32_t alphaArg1, std::uint32_t alphaArg2);

private:
    std::unique_ptr<DeviceUnderTest> target_;
    // Kept until the device goes, so that no draw refers to a released buffer.
    std::vector<std::unique_ptr<device::VertexBuffer>> buffers_;
};

}  // namespace device_test
