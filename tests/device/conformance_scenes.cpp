#include "conformance_scenes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace device_test {

using device::PrimitiveType;
using device::TransformState;

namespace {

ScreenTriangle screenTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    return {{a.x, b.x, c.x}, {a.y, b.y, c.y}};
}

}  // namespace

// Every other triangle of a strip is listed reversed, so that all of them face the same way.
std::vector<ScreenTriangle> trianglesOf(PrimitiveType type, const std::vector<ScreenVertex>& v) {
    std::vector<ScreenTriangle> out;
    if (type == PrimitiveType::TriangleList) {
        for (std::size_t i = 0; i + 2 < v.size(); i += 3)
            out.push_back(screenTriangle(v[i], v[i + 1], v[i + 2]));
    } else {
        for (std::size_t i = 0; i + 2 < v.size(); ++i)
            out.push_back(i % 2 ? screenTriangle(v[i + 1], v[i], v[i + 2])
                                : screenTriangle(v[i], v[i + 1], v[i + 2]));
    }
    return out;
}

void forEachInteriorPixel(const ScreenTriangle& t, int width, int height,
                          const std::function<void(int, int)>& f) {
    // The neighbours too, so that no rounding of an edge's position decides the pixel.
    for (int y = 1; y + 1 < height; ++y)
        for (int x = 1; x + 1 < width; ++x) {
            bool all = true;
            for (int dy = -1; dy <= 1 && all; ++dy)
                for (int dx = -1; dx <= 1 && all; ++dx) all = covers(t, x + dx, y + dy);
            if (all) f(x, y);
        }
}

void expectPicture(const base::Image& image, const std::vector<Rgba>& expected, int width, const char* what) {
    int wrong = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
        const auto result = showsColour(image, x, y, expected[i]);
        if (!result && ++wrong <= 8) ADD_FAILURE() << what << ": " << result.message();
    }
    EXPECT_EQ(wrong, 0) << what << ": pixels that differ";
}

// Both rotate and move, so that a device that skips one, mixes their order or leaves the light
// in world space shows it.
Transforms movedCamera(const base::Matrix& projection) {
    return {base::matrixMultiply(base::matrixMultiply(rotationX(0.4), rotationY(-0.7)),
                                 translation(0.3, -0.2, 1.0)),
            base::matrixMultiply(base::matrixMultiply(translation(-1.0, 0.5, 2.0), rotationY(0.6)),
                                 rotationX(-0.3)),
            projection};
}

base::MeshData meshFor(const std::vector<CameraTriangle>& triangles, const Transforms& t) {
    const base::Matrix toObject = rigidInverse(t.worldView());
    base::MeshData data;
    std::uint32_t subsets = 0;
    for (const CameraTriangle& tri : triangles) {
        const Vec n = transformDirection(tri.normal, toObject);
        for (const Vec& p : tri.p) {
            const Vec o = transformPoint(p, toObject);
            data.indices.push_back(static_cast<std::uint32_t>(data.vertices.size()));
            data.vertices.push_back({static_cast<float>(o.x), static_cast<float>(o.y),
                                     static_cast<float>(o.z), static_cast<float>(n.x),
                                     static_cast<float>(n.y), static_cast<float>(n.z), 0, 0});
        }
        data.attributes.push_back(tri.subset);
        subsets = std::max(subsets, tri.subset + 1);
    }
    data.materials.resize(subsets);
    data.hasNormals = true;
    return data;
}

Vec positionOf(const base::MeshVertex& v) {
    return {v.x, v.y, v.z};
}

ScreenTriangle projected(const base::MeshData& data, std::size_t i, const Transforms& t, int width,
                         int height) {
    ScreenTriangle out;
    for (int k = 0; k < 3; ++k) {
        const ScreenPoint s = toScreen(positionOf(data.vertices[data.indices[i * 3 + k]]),
                                       t.worldViewProjection(), width, height);
        out.x[k] = s.x;
        out.y[k] = s.y;
    }
    return out;
}

void setTransforms(device::GraphicsDevice& device, const Transforms& t) {
    device.setTransform(TransformState::World, t.world);
    device.setTransform(TransformState::View, t.view);
    device.setTransform(TransformState::Projection, t.projection);
}

base::Material emissive(double r, double g, double b) {
    base::Material m{};
    m.emissive = {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b), 1};
    m.diffuse.a = 1;
    return m;
}

std::vector<ScreenVertex> quad(float l, float t, float r, float b, std::uint32_t colour) {
    return {{l, t, 0.5f, 1, colour, 0, 0},
            {r, t, 0.5f, 1, colour, 0, 0},
            {l, b, 0.5f, 1, colour, 0, 0},
            {r, b, 0.5f, 1, colour, 0, 0}};
}

std::vector<ScreenVertex> triangle(std::array<float, 2> a, std::array<float, 2> b, std::array<float, 2> c,
                                   std::uint32_t colour) {
    return {{a[0], a[1], 0.5f, 1, colour, 0, 0},
            {b[0], b[1], 0.5f, 1, colour, 0, 0},
            {c[0], c[1], 0.5f, 1, colour, 0, 0}};
}

void paintExpected(std::vector<Rgba>& expected, PrimitiveType type, const std::vector<ScreenVertex>& vertices,
                   int width, int height) {
    for (const ScreenTriangle& t : trianglesOf(type, vertices)) {
        ASSERT_TRUE(clockwise(t)) << "every shape here faces the camera";
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (covers(t, x, y)) expected[y * width + x] = fromArgb(vertices[0].colour);
    }
}

}  // namespace device_test
