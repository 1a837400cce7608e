#pragma once
// What Direct3D 9's fixed-function pipeline gives, worked out from its published formulas, so
// that the conformance cases compare a device's pixels with values computed here and never with
// values copied from a run.
#include <gtest/gtest.h>

#include <cstdint>

#include "base/image.h"
#include "base/matrix.h"
#include "base/mesh_data.h"
#include "device/graphics_device.h"

namespace device_test {

struct Vec {
    double x = 0, y = 0, z = 0;
};
double dot(const Vec& a, const Vec& b);
Vec normalize(const Vec& v);

struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};
// A D3DCOLOR (or an image pixel), 0xAARRGGBB.
Rgba fromArgb(std::uint32_t argb);
Rgba clamp01(const Rgba& c);

// Left-handed row-vector matrices as D3DX builds them.
base::Matrix rotationX(double angle);
base::Matrix rotationY(double angle);
base::Matrix translation(double x, double y, double z);
base::Matrix orthoLH(double width, double height, double nearZ, double farZ);
base::Matrix perspectiveFovLH(double fovY, double aspect, double nearZ, double farZ);
// The inverse of a rotation followed by a translation.
base::Matrix rigidInverse(const base::Matrix& m);
Vec transformPoint(const Vec& p, const base::Matrix& m);
Vec transformDirection(const Vec& d, const base::Matrix& m);

// A point after projection and the viewport transform of a full back buffer: x and y in pixels
// (pixel centres at integer coordinates), z in 0..1.
struct ScreenPoint {
    double x = 0, y = 0, z = 0;
};
ScreenPoint toScreen(const Vec& p, const base::Matrix& worldViewProjection, int width, int height);

// One vertex lit by one directional light, in camera space: the diffuse (with alpha) and the
// specular colour, each clamped as Direct3D clamps them before interpolation. The global ambient
// render state is at its default, black; the half vector uses the direction to the camera, as
// the default local-viewer state does.
struct LitVertex {
    Rgba diffuse;
    Rgba specular;
};
LitVertex lightVertex(const Vec& cameraPosition, const Vec& cameraNormal, const Vec& cameraLightDirection,
                      const device::Light& light, const base::Material& material, bool specularEnable);

// Texture stage 0 for the operations and arguments the device interface names; at stage 0 the
// current colour is the diffuse colour.
struct StageStates {
    std::uint32_t colourOp = device::kTopModulate;
    std::uint32_t colourArg1 = device::kTaTexture;
    std::uint32_t colourArg2 = device::kTaCurrent;
    std::uint32_t alphaOp = device::kTopSelectArg1;
    std::uint32_t alphaArg1 = device::kTaTexture;
    std::uint32_t alphaArg2 = device::kTaCurrent;
};
Rgba stage0(const StageStates& states, const Rgba& texel, const Rgba& diffuse);

// Source-alpha blending over what the back buffer holds.
Rgba blendSrcAlpha(const Rgba& source, const Rgba& destination);

// The colour a 5-6-5 back buffer stores for `c`, as floats.
Rgba storedIn565(const Rgba& c);

// Whether the pixel shows `expected` as a 5-6-5 back buffer stores it, give or take one 5-6-5
// step per channel: the pixel's nearest 5-6-5 level is at most one level from the expected
// colour's (a level is about 8 of 255 for red and blue, 4 for green). The exact 8-bit colour,
// which a 32-bit back buffer shows, is always within that step.
::testing::AssertionResult showsColour(const base::Image& image, int x, int y, const Rgba& expected);
// Whether an 8-bit channel value is one that a 5- or 6-bit channel widens to.
bool onGrid(int value, int bits);

// A triangle in screen pixels, vertices in drawing order.
struct ScreenTriangle {
    double x[3]{}, y[3]{};
};
// Whether the vertices run clockwise as seen on the screen (y grows downwards).
bool clockwise(const ScreenTriangle& t);
// Whether Direct3D 9 fills the pixel whose centre is (px, py): the centre is inside, or on a top
// or a left edge. Only for clockwise triangles, the ones that are not culled.
bool covers(const ScreenTriangle& t, double px, double py);
// Weights of the three vertices at (px, py), for colours interpolated in screen space.
void barycentric(const ScreenTriangle& t, double px, double py, double weights[3]);

}  // namespace device_test
