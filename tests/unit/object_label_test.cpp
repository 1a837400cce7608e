#include "render/object_label.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "render/matrix.h"

namespace {

using Corner = std::array<float, 3>;
using Vertex = std::array<double, 2>;

// A camera at the origin looking along +z, a 90-degree view, the near plane at z = 1 and the far
// one at z = 17, and a 200 x 100 back buffer: (x, y, z) lands on pixel (100 (x/z + 1), 50 (1 - y/z)).
constexpr int kWidth = 200;
constexpr int kHeight = 100;
const base::Matrix kView = base::Matrix::identity();
const base::Matrix kProjection = [] {
    base::Matrix p;
    p.m[0][0] = 1;
    p.m[1][1] = 1;
    p.m[2][2] = 17.0f / 16;
    p.m[2][3] = 1;
    p.m[3][2] = -17.0f / 16;
    return p;
}();
const base::Rect kWholeBuffer{0, 0, kWidth, kHeight};

// Two triangles over the rectangle from (x0, y0) to (x1, y1) at depth z.
std::vector<Corner> quad(float x0, float y0, float x1, float y1, float z) {
    return {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y0, z}, {x1, y1, z}, {x0, y1, z}};
}

render::ObjectLabel label(const std::vector<Corner>& corners, const base::Rect& cut,
                          const base::Matrix& world = base::Matrix::identity()) {
    return render::labelObject(corners, world, kView, kProjection, kWidth, kHeight, cut);
}

std::string text(const std::vector<Vertex>& polygon) {
    std::ostringstream out;
    for (const Vertex& v : polygon) out << " (" << v[0] << ", " << v[1] << ")";
    return out.str();
}

// The same vertices in the same cyclic order, each within a thousandth of a pixel.
void expectPolygon(const std::vector<Vertex>& actual, const std::vector<Vertex>& expected) {
    auto near = [](const Vertex& a, const Vertex& b) {
        return std::abs(a[0] - b[0]) < 1e-3 && std::abs(a[1] - b[1]) < 1e-3;
    };
    bool same = actual.size() == expected.size();
    for (std::size_t start = 0; same && start < actual.size(); ++start) {
        if (!near(actual[start], expected[0])) continue;
        for (std::size_t i = 0; i < expected.size() && same; ++i)
            same = near(actual[(start + i) % actual.size()], expected[i]);
        break;
    }
    EXPECT_TRUE(same && !actual.empty()) << "polygon" << text(actual) << "\n expected" << text(expected);
}

TEST(ObjectLabel, AQuadWhollyInTheCutIsBoxedByItsProjectedCornersInTheCutsOwnPixels) {
    // Row vectors, v * World * View: the world moves the quad by +1 in x, then the view turns it a
    // quarter about y, (x, y, z) -> (z, y, -x). So the quad, built upright in the plane x = -5, ends
    // at depth 4 facing the camera. (Turned first and moved after, it would land at depth 5.)
    const std::vector<Corner> corners = {{-5, -0.3f, -1.1f}, {-5, -0.3f, 0.9f}, {-5, 0.5f, 0.9f},
                                         {-5, -0.3f, -1.1f}, {-5, 0.5f, 0.9f},  {-5, 0.5f, -1.1f}};
    const base::Matrix world = render::matrixTranslation(1, 0, 0);
    const base::Matrix view = render::matrixRotationY(std::numbers::pi_v<float> / 2);
    const render::ObjectLabel whole =
        render::labelObject(corners, world, view, kProjection, kWidth, kHeight, kWholeBuffer);
    // x: 100 (-1.1/4 + 1) = 72.5 to 100 (0.9/4 + 1) = 122.5; y: 50 (1 - 0.5/4) = 43.75 to 53.75.
    ASSERT_TRUE(whole.box) << "a quad in front of the camera gets a box";
    EXPECT_EQ(*whole.box, (std::array<int, 4>{72, 43, 51, 11}));
    // Clockwise as seen on the screen.
    expectPolygon(whole.polygon, {{72.5, 43.75}, {122.5, 43.75}, {122.5, 53.75}, {72.5, 53.75}});

    const render::ObjectLabel offset =
        render::labelObject(corners, world, view, kProjection, kWidth, kHeight, base::Rect{10, 20, 190, 90});
    ASSERT_TRUE(offset.box);
    EXPECT_EQ(*offset.box, (std::array<int, 4>{62, 23, 51, 11})) << "the cut's top-left is the origin";
    expectPolygon(offset.polygon, {{62.5, 23.75}, {112.5, 23.75}, {112.5, 33.75}, {62.5, 33.75}});
}

TEST(ObjectLabel, AQuadReachingPastTheCutIsClippedToItAndToTheBackBuffer) {
    const std::vector<Corner> corners = quad(-1.1f, -0.3f, 0.9f, 0.5f, 4.0f);
    const render::ObjectLabel right = label(corners, base::Rect{100, 0, 200, 100});
    ASSERT_TRUE(right.box);
    EXPECT_EQ(*right.box, (std::array<int, 4>{0, 43, 23, 11}));
    expectPolygon(right.polygon, {{0, 43.75}, {22.5, 43.75}, {22.5, 53.75}, {0, 53.75}});

    // A cut that hangs over the viewer's right edge: the device draws nothing past x = 200.
    const std::vector<Corner> wide = quad(1.0f, -0.3f, 3.0f, 0.5f, 4.0f);   // x 125 to 175
    const std::vector<Corner> wider = quad(1.0f, -0.3f, 5.0f, 0.5f, 4.0f);  // x 125 to 225
    const render::ObjectLabel inside = label(wide, base::Rect{150, 40, 260, 60});
    const render::ObjectLabel past = label(wider, base::Rect{150, 40, 260, 60});
    ASSERT_TRUE(inside.box);
    ASSERT_TRUE(past.box);
    EXPECT_EQ(*inside.box, (std::array<int, 4>{0, 3, 25, 11})) << "x 150 to 175 in the viewer";
    EXPECT_EQ(*past.box, (std::array<int, 4>{0, 3, 50, 11})) << "cut at the viewer's edge, x = 200";
    expectPolygon(past.polygon, {{0, 3.75}, {50, 3.75}, {50, 13.75}, {0, 13.75}});
}

TEST(ObjectLabel, AQuadPartlyBehindTheCameraKeepsOnlyTheVisiblePartUpToTheNearPlane) {
    // A floor strip from z = -1 to z = 3 at y = -0.5: its near end is cut at z = 1, where it lands
    // on x = 50 and 150, y = 75; its far end at z = 3 on x = 83.33 and 116.67, y = 58.33.
    const std::vector<Corner> corners = {{-0.5f, -0.5f, -1.0f}, {0.5f, -0.5f, -1.0f}, {0.5f, -0.5f, 3.0f},
                                         {-0.5f, -0.5f, -1.0f}, {0.5f, -0.5f, 3.0f},  {-0.5f, -0.5f, 3.0f}};
    const render::ObjectLabel result = label(corners, kWholeBuffer);
    ASSERT_TRUE(result.box) << "the part in front of the camera is seen";
    EXPECT_EQ(*result.box, (std::array<int, 4>{50, 58, 100, 17}));
    expectPolygon(result.polygon, {{250.0 / 3, 175.0 / 3}, {350.0 / 3, 175.0 / 3}, {150, 75}, {50, 75}});
}

TEST(ObjectLabel, NothingBehindTheCameraBeyondTheFarPlaneOffTheCutOrWithoutAreaIsLabelled) {
    auto expectNone = [](const render::ObjectLabel& result, const char* what) {
        EXPECT_FALSE(result.box) << what;
        EXPECT_TRUE(result.polygon.empty()) << what << ":" << text(result.polygon);
    };
    expectNone(label({}, kWholeBuffer), "no triangles");
    expectNone(label(quad(-1, -1, 1, 1, -4), kWholeBuffer), "wholly behind the camera");
    expectNone(label(quad(-1, -1, 1, 1, 20), kWholeBuffer), "wholly past the far plane");
    expectNone(label(quad(-1.1f, -0.3f, 0.9f, 0.5f, 4), base::Rect{130, 0, 200, 100}), "right of the quad");
    expectNone(label(quad(-1.1f, -0.3f, 0.9f, 0.5f, 4), base::Rect{300, 0, 400, 100}),
               "a cut off the viewer");
    expectNone(label(quad(-1.1f, -0.3f, 0.9f, 0.5f, 4), base::Rect{80, 40, 80, 60}), "an empty cut");
    // A quad in the plane x = 0 is seen edge-on: a line.
    const std::vector<Corner> edgeOn = {{0, -1, 3}, {0, 1, 3}, {0, 1, 5}, {0, -1, 3}, {0, 1, 5}, {0, -1, 5}};
    expectNone(label(edgeOn, kWholeBuffer), "seen edge-on");
}

// A sphere of rings x segments quads, two triangles each, row by row.
std::vector<Corner> sphere(int rings, int segments, float radius) {
    auto at = [&](int ring, int segment) {
        const double theta = std::numbers::pi * ring / rings, phi = 2 * std::numbers::pi * segment / segments;
        return Corner{static_cast<float>(radius * std::sin(theta) * std::cos(phi)),
                      static_cast<float>(radius * std::cos(theta)),
                      static_cast<float>(radius * std::sin(theta) * std::sin(phi))};
    };
    std::vector<Corner> corners;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const Corner a = at(r, s), b = at(r, s + 1), c = at(r + 1, s), d = at(r + 1, s + 1);
            corners.insert(corners.end(), {a, c, b, b, c, d});
        }
    return corners;
}

double cross(const Vertex& o, const Vertex& a, const Vertex& b) {
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

TEST(ObjectLabel, ABigModelsOutlineIsTheHullOfEveryProjectedCornerWhereverTheCutLies) {
    // Enough triangles that most are passed over without being projected, and for the outline to
    // be found in several steps; every corner is in front of the camera.
    const std::vector<Corner> corners = sphere(90, 180, 1.3f);
    const base::Matrix world = base::matrixMultiply(
        base::matrixMultiply(render::matrixRotationX(0.4f), render::matrixRotationY(0.9f)),
        render::matrixTranslation(0.3f, -0.2f, 4.5f));
    const render::ObjectLabel result = label(corners, kWholeBuffer, world);

    // The plain way: every corner projected, their hull by Andrew's monotone chain.
    const base::Matrix all = base::matrixMultiply(world, kProjection);
    std::vector<Vertex> points;
    for (const Corner& c : corners) {
        double clip[4];
        for (int j = 0; j < 4; ++j)
            clip[j] = c[0] * all.m[0][j] + c[1] * all.m[1][j] + c[2] * all.m[2][j] + all.m[3][j];
        points.push_back({(clip[0] / clip[3] + 1) * 100, (1 - clip[1] / clip[3]) * 50});
    }
    std::sort(points.begin(), points.end());
    std::vector<Vertex> hull;
    for (int pass = 0; pass < 2; ++pass) {
        const std::size_t first = hull.size();
        for (const Vertex& p : points) {
            while (hull.size() >= first + 2 && cross(hull[hull.size() - 2], hull.back(), p) <= 0)
                hull.pop_back();
            hull.push_back(p);
        }
        hull.pop_back();
        std::reverse(points.begin(), points.end());
    }
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const Vertex& v : hull) {
        x0 = std::min(x0, v[0]);
        x1 = std::max(x1, v[0]);
        y0 = std::min(y0, v[1]);
        y1 = std::max(y1, v[1]);
    }
    ASSERT_GT(hull.size(), 100u) << "the sphere's outline has many vertices";
    ASSERT_GT(x0, 0) << "the sphere lies within the viewer";
    ASSERT_TRUE(result.box);
    const std::array<int, 4> box{static_cast<int>(std::floor(x0)), static_cast<int>(std::floor(y0)),
                                 static_cast<int>(std::ceil(x1) - std::floor(x0)),
                                 static_cast<int>(std::ceil(y1) - std::floor(y0))};
    EXPECT_EQ(*result.box, box);
    // Every vertex of either outline is a vertex of the other, to float's rounding.
    auto within = [](const std::vector<Vertex>& from, const std::vector<Vertex>& to) {
        std::size_t missing = 0;
        for (const Vertex& v : from)
            missing += std::none_of(to.begin(), to.end(), [&](const Vertex& w) {
                return std::abs(v[0] - w[0]) < 1e-3 && std::abs(v[1] - w[1]) < 1e-3;
            });
        return missing;
    };
    EXPECT_EQ(within(hull, result.polygon), 0u) << "outline vertices that the label misses";
    EXPECT_EQ(within(result.polygon, hull), 0u) << "label vertices that are no outline vertex";

    // A cut across the outline's leftmost point holds sphere from there on: it reaches the cut's
    // right side and, a little in, its top and bottom.
    const Vertex leftmost = *std::min_element(hull.begin(), hull.end());
    const int left = static_cast<int>(std::floor(leftmost[0])) - 5, row = static_cast<int>(leftmost[1]);
    const render::ObjectLabel across = label(corners, base::Rect{left, row - 3, left + 15, row + 3}, world);
    ASSERT_TRUE(across.box);
    EXPECT_EQ(*across.box, (std::array<int, 4>{5, 0, 10, 6}));

    // A cut wholly inside the sphere's outline is all sphere.
    const render::ObjectLabel covered = label(corners, base::Rect{98, 47, 115, 57}, world);
    ASSERT_TRUE(covered.box);
    EXPECT_EQ(*covered.box, (std::array<int, 4>{0, 0, 17, 10}));
    expectPolygon(covered.polygon, {{0, 0}, {17, 0}, {17, 10}, {0, 10}});
}

}  // namespace
