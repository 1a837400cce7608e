// The label of a capture with a 1,000,000-triangle grab-textured model: at most 5 ms. Two models,
// a sphere, the hard case with an outline that is all silhouette and a hull vertex on nearly every
// ring, and a subdivided picture plane; each in the whole viewer and in a cut across its edge. The
// anchor, measured within each iteration so that both see the same machine load: one plain loop
// that multiplies the same 3,000,000 corners by one 4 x 4 matrix. label_ms and anchor_ms are the
// two times; label_vs_anchor is the target's figure: at most 0.4 (5 ms where the anchor takes
// 12.5 ms, as on the development machine).
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include "base/matrix.h"
#include "render/matrix.h"
#include "render/object_label.h"
#include "state/view_state.h"

namespace {

using Corner = std::array<float, 3>;

// A unit sphere of rings x segments quads, two triangles each, ring by ring as exporters write it.
std::vector<Corner> sphere(int rings, int segments) {
    auto at = [&](int ring, int segment) {
        const double theta = std::numbers::pi * ring / rings, phi = 2 * std::numbers::pi * segment / segments;
        return Corner{static_cast<float>(std::sin(theta) * std::cos(phi)),
                      static_cast<float>(std::cos(theta)),
                      static_cast<float>(std::sin(theta) * std::sin(phi))};
    };
    std::vector<Corner> corners;
    corners.reserve(static_cast<std::size_t>(rings) * static_cast<std::size_t>(segments) * 6);
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const Corner a = at(r, s), b = at(r, s + 1), c = at(r + 1, s), d = at(r + 1, s + 1);
            corners.insert(corners.end(), {a, c, b, b, c, d});
        }
    return corners;
}

// A square of side - 1 cells a side, 2 units across in the x-y plane, two triangles a cell, row by
// row, with the small ripple of tests/unit/grid_model.h.
std::vector<Corner> plane(int side) {
    auto at = [&](int x, int y) {
        return Corner{2.0f * static_cast<float>(x) / static_cast<float>(side - 1) - 1.0f,
                      2.0f * static_cast<float>(y) / static_cast<float>(side - 1) - 1.0f,
                      static_cast<float>((x * 7 + y * 3) % 11) * 0.001f};
    };
    std::vector<Corner> corners;
    corners.reserve(static_cast<std::size_t>(side - 1) * static_cast<std::size_t>(side - 1) * 6);
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x) {
            const Corner a = at(x, y), b = at(x + 1, y), c = at(x, y + 1), d = at(x + 1, y + 1);
            corners.insert(corners.end(), {a, c, b, b, c, d});
        }
    return corners;
}

const std::vector<Corner>& model(int which) {
    static const std::vector<Corner> models[2] = {sphere(500, 1000), plane(708)};
    return models[which];
}

// The viewer's camera and projection at start-up, and the model at its start-up place turned as
// ModelObject::draw turns it (World = Rz * Rx * Ry * T * S).
struct Pose {
    base::Matrix world, view, projection;
};

Pose pose(const base::Vec3& rotation) {
    const state::ViewState v;
    Pose p;
    p.world = base::matrixMultiply(render::matrixRotationZ(rotation.z), render::matrixRotationX(rotation.x));
    p.world = base::matrixMultiply(p.world, render::matrixRotationY(rotation.y));
    p.world = base::matrixMultiply(
        p.world, render::matrixTranslation(v.modelPosition.x, v.modelPosition.y, v.modelPosition.z));
    const base::Vec3 at{v.eyePosition.x, v.lookHeight, v.eyePosition.z + 2.0f};
    p.view = render::matrixLookAtLH(v.eyePosition, at, base::Vec3{0.0f, 1.0f, 0.0f});
    p.projection = render::matrixPerspectiveFovLH(1.0471976f, 1.0f, 0.01f, 2000.0f);
    return p;
}

// The anchor: every corner through one 4 x 4 matrix, in float, into a buffer made once.
void transformAll(const std::vector<Corner>& corners, const base::Matrix& m,
                  std::vector<std::array<float, 4>>& out) {
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const Corner& c = corners[i];
        for (int j = 0; j < 4; ++j)
            out[i][j] = c[0] * m.m[0][j] + c[1] * m.m[1][j] + c[2] * m.m[2][j] + m.m[3][j];
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
}

template <class Work>
double secondsOf(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Arguments: the model (0 the sphere, 1 the plane), then the cut's left, top, width and height in
// viewer pixels.
void labelOfBigModel(benchmark::State& bench) {
    const std::vector<Corner>& corners = model(static_cast<int>(bench.range(0)));
    const base::Rect cut{static_cast<int>(bench.range(1)), static_cast<int>(bench.range(2)),
                         static_cast<int>(bench.range(1) + bench.range(3)),
                         static_cast<int>(bench.range(2) + bench.range(4))};
    // Made once per load, as the model object makes it.
    const render::LabelShape shape(corners);
    std::vector<std::array<float, 4>> anchorOut(corners.size());
    double label = 0, anchor = 0;
    std::size_t vertices = 0;
    int turn = 0;
    for (auto _ : bench) {
        // A new pose every time, as the model turns between saves; the plane stands up and leans,
        // through the turns at which it shows in the smaller cut.
        const float angle = 0.01f * static_cast<float>(turn++ % (bench.range(0) == 0 ? 628 : 250));
        const Pose p = pose(bench.range(0) == 0 ? base::Vec3{angle / 2, angle, 0.0f}
                                                : base::Vec3{0.3f, angle / 4 - 0.8f, 0.2f});
        render::ObjectLabel result;
        const double seconds = secondsOf([&] {
            result = render::labelObject(shape, p.world, p.view, p.projection, state::kBackBufferWidth,
                                         state::kBackBufferHeight, cut);
        });
        if (!result.box) {
            bench.SkipWithError("the model got no box");
            return;
        }
        vertices = result.polygon.size();
        const base::Matrix all = base::matrixMultiply(base::matrixMultiply(p.world, p.view), p.projection);
        anchor += secondsOf([&] { transformAll(corners, all, anchorOut); });
        label += seconds;
        bench.SetIterationTime(seconds);
    }
    const double n = static_cast<double>(bench.iterations());
    bench.counters["label_ms"] = label / n * 1e3;
    bench.counters["anchor_ms"] = anchor / n * 1e3;
    bench.counters["label_vs_anchor"] = label / anchor;
    bench.counters["triangles"] = static_cast<double>(corners.size() / 3);
    bench.counters["outline_vertices"] = static_cast<double>(vertices);
}
BENCHMARK(labelOfBigModel)
    ->ArgNames({"model", "x", "y", "w", "h"})
    ->Args({0, 0, 0, state::kBackBufferWidth, state::kBackBufferHeight})
    ->Args({0, 420, 150, 138, 111})
    ->Args({1, 0, 0, state::kBackBufferWidth, state::kBackBufferHeight})
    ->Args({1, 230, 400, 138, 111})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
