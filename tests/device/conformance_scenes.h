#pragma once
// What the conformance cases draw, and where Direct3D 9 puts it: pre-transformed shapes, meshes
// placed in camera space, and the expected pictures built from them.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/image.h"
#include "base/matrix.h"
#include "base/mesh_data.h"
#include "device/graphics_device.h"
#include "device_conformance.h"
#include "fixed_function_reference.h"

namespace device_test {

// Pre-transformed shapes of one colour at depth 0.5: a quad as a two-triangle strip, as the
// program's overlay draws it, and a triangle for a list.
std::vector<ScreenVertex> quad(float left, float top, float right, float bottom, std::uint32_t colour);
std::vector<ScreenVertex> triangle(std::array<float, 2> a, std::array<float, 2> b, std::array<float, 2> c,
                                   std::uint32_t colour);
// The triangles a strip or list draws, each in the vertex order that decides its facing.
std::vector<ScreenTriangle> trianglesOf(device::PrimitiveType type,
                                        const std::vector<ScreenVertex>& vertices);
// Paints the pixels Direct3D fills for pre-transformed vertices of one colour.
void paintExpected(std::vector<Rgba>& expected, device::PrimitiveType type,
                   const std::vector<ScreenVertex>& vertices, int width, int height);
// Calls `f` for every pixel whose centre and its eight neighbours' are all inside the triangle.
void forEachInteriorPixel(const ScreenTriangle& t, int width, int height,
                          const std::function<void(int, int)>& f);
// Compares every pixel with an expected picture, reporting the first few differences.
void expectPicture(const base::Image& image, const std::vector<Rgba>& expected, int width, const char* what);

struct Transforms {
    base::Matrix world, view, projection;
    base::Matrix worldView() const { return base::matrixMultiply(world, view); }
    base::Matrix worldViewProjection() const { return base::matrixMultiply(worldView(), projection); }
};
// A world and a view that both rotate and move, with the given projection.
Transforms movedCamera(const base::Matrix& projection);
void setTransforms(device::GraphicsDevice& device, const Transforms& t);

// A camera-space mesh triangle: positions, one normal for all three vertices, a subset.
struct CameraTriangle {
    Vec p[3];
    Vec normal;
    std::uint32_t subset = 0;
};
// The mesh whose vertices land on the camera-space triangles under `t`, three per triangle.
base::MeshData meshFor(const std::vector<CameraTriangle>& triangles, const Transforms& t);
Vec positionOf(const base::MeshVertex& v);
// Triangle `i` of the mesh where the device puts it on the screen.
ScreenTriangle projected(const base::MeshData& data, std::size_t i, const Transforms& t, int width,
                         int height);
// A material that shows its emissive colour whatever the lights.
base::Material emissive(double r, double g, double b);

}  // namespace device_test
