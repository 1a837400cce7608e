#include "render/object_label.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

namespace render {

namespace {

using Point = std::array<double, 2>;  // back-buffer pixels
using Corner = std::array<float, 3>;
static_assert(sizeof(Corner) == 3 * sizeof(float), "a chunk's corners are read as one run of floats");

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kFloatRoundoff = std::numeric_limits<float>::epsilon() / 2;

// Triangles per chunk. A chunk is bounded from its model-space box before any of its corners is
// transformed, and only the chunks that may hold a vertex of the outline are transformed at all:
// for a big model, a ring of them along its silhouette.
constexpr std::size_t kChunkTriangles = 32;
constexpr std::size_t kChunkCorners = kChunkTriangles * 3;
// A projected chunk's points are tested in parts of this many triangles, each bounded on its own.
constexpr std::size_t kPartTriangles = 8;
constexpr std::size_t kPartCorners = kPartTriangles * 3;
// One corner in this many is projected first, for an inner hull that most chunks then fall inside
// (odd, so that it visits every corner of the triangles alike).
constexpr std::size_t kSampleStride = 127;
// Columns of the back buffer whose highest and lowest sampled points make the first inner hull.
constexpr int kExtremeColumns = 1024;
// Points outside the inner hull that wait before it grows by them.
constexpr std::size_t kPendingPoints = 4096;
// An outline of less area than this, in square pixels, is a line or a point.
constexpr double kMinArea = 1e-6;

struct Clip {
    double x, y, z, w;
};

// A linear function of the model-space position. Over a box it ranges over its value at the
// centre plus or minus the extents weighted by the coefficients' magnitudes; and the rounding of
// its float sum scales with the largest size the terms can add up to there.
struct Linear {
    double a0, a1, a2, b;
    double m0, m1, m2, mb;  // the magnitudes
};

// World * View * Projection, and where clip space lands in the back buffer. Corners go through it
// in float, as the device transforms them; the chunk bounds work in double and allow for that
// rounding.
class Projector {
public:
    Projector(const base::Matrix& world, const base::Matrix& view, const base::Matrix& projection, int width,
              int height)
        : halfWidth_(width / 2.0), halfHeight_(height / 2.0) {
        double wv[4][4];
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                wv[i][j] = 0;
                for (int k = 0; k < 4; ++k) wv[i][j] += double{world.m[i][k]} * view.m[k][j];
            }
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                double sum = 0;
                for (int k = 0; k < 4; ++k) sum += wv[i][k] * projection.m[k][j];
                m_[i][j] = static_cast<float>(sum);
            }
        // x, y, z, w, and z - w (beyond the far plane where positive).
        for (int j = 0; j < 5; ++j) {
            double v[4];
            for (int i = 0; i < 4; ++i) v[i] = j < 4 ? m_[i][j] : double{m_[i][2]} - m_[i][3];
            linear_[j] = {v[0],           v[1],           v[2],           v[3],
                          std::abs(v[0]), std::abs(v[1]), std::abs(v[2]), std::abs(v[3])};
        }
    }

    const float (&matrix() const)[4][4] { return m_; }
    double halfWidth() const { return halfWidth_; }
    double halfHeight() const { return halfHeight_; }
    double pixelX(double ndc) const { return (ndc + 1.0) * halfWidth_; }
    double pixelY(double ndc) const { return (1.0 - ndc) * halfHeight_; }
    Point pixel(const Clip& c) const { return {pixelX(c.x / c.w), pixelY(c.y / c.w)}; }
    const Linear& linear(int j) const { return linear_[j]; }

private:
    float m_[4][4];
    Linear linear_[5];
    double halfWidth_, halfHeight_;
};

// What a chunk may reach: nothing (wholly behind the camera or past the far plane), a box of
// back-buffer pixels, or anywhere (it crosses a depth plane, so only its clipped triangles tell).
enum class Reach : std::uint8_t { Nothing, Box, Anywhere };

struct ChunkBound {
    Reach reach = Reach::Nothing;
    double left = 0, top = 0, right = 0, bottom = 0;
};

// Four corners a step: each of three runs of four floats is one vector lane, coordinates taking
// turns in them (x y z x, y z x y, z x y z). As three separate arrays the lanes stay in registers;
// `Count` floats, a multiple of twelve, or any number when `Count` is 0.
template <std::size_t Count>
void cornerBounds(const float* floats, std::size_t floatCount, float (&low)[12], float (&high)[12]) {
    constexpr float kHuge = std::numeric_limits<float>::infinity();
    float low0[4] = {kHuge, kHuge, kHuge, kHuge}, low1[4] = {kHuge, kHuge, kHuge, kHuge},
          low2[4] = {kHuge, kHuge, kHuge, kHuge};
    float high0[4] = {-kHuge, -kHuge, -kHuge, -kHuge}, high1[4] = {-kHuge, -kHuge, -kHuge, -kHuge},
          high2[4] = {-kHuge, -kHuge, -kHuge, -kHuge};
    const std::size_t steps = Count ? Count : floatCount / 12 * 12;
    for (std::size_t i = 0; i < steps; i += 12) {
        for (int k = 0; k < 4; ++k) {
            const float v = floats[i + k];
            low0[k] = v < low0[k] ? v : low0[k];
            high0[k] = v > high0[k] ? v : high0[k];
        }
        for (int k = 0; k < 4; ++k) {
            const float v = floats[i + 4 + k];
            low1[k] = v < low1[k] ? v : low1[k];
            high1[k] = v > high1[k] ? v : high1[k];
        }
        for (int k = 0; k < 4; ++k) {
            const float v = floats[i + 8 + k];
            low2[k] = v < low2[k] ? v : low2[k];
            high2[k] = v > high2[k] ? v : high2[k];
        }
    }
    for (int k = 0; k < 4; ++k) {
        low[k] = low0[k];
        low[4 + k] = low1[k];
        low[8 + k] = low2[k];
        high[k] = high0[k];
        high[4 + k] = high1[k];
        high[8 + k] = high2[k];
    }
    for (std::size_t i = steps; i < floatCount; ++i) {
        low[i % 3] = std::min(low[i % 3], floats[i]);
        high[i % 3] = std::max(high[i % 3], floats[i]);
    }
}

double smaller(double a, double b) {
    return a < b ? a : b;
}
double larger(double a, double b) {
    return a > b ? a : b;
}

// Chunks bounded four at a time, so that the sums run as vectors over the four.
constexpr std::size_t kGroupChunks = 4;

// The model-space box of a chunk of `count` corners: its lowest x y z, then its highest.
void chunkBox(const float* floats, std::size_t count, float* box) {
    float low[12], high[12];
    if (count == kChunkCorners)
        cornerBounds<kChunkCorners * 3>(floats, 3 * count, low, high);
    else
        cornerBounds<0>(floats, 3 * count, low, high);
    for (int k = 0; k < 3; ++k) {
        box[k] = std::min({low[k], low[k + 3], low[k + 6], low[k + 9]});
        box[3 + k] = std::max({high[k], high[k + 3], high[k + 6], high[k + 9]});
    }
}

// The bounds of the `chunks` (four at most) chunks whose boxes start at `boxes`.
void boundChunks(const float* boxes, std::size_t chunks, const Projector& projector,
                 ChunkBound (&out)[kGroupChunks]) {
    constexpr std::size_t n = kGroupChunks;
    double lo[3][n] = {}, hi[3][n] = {};
    for (std::size_t g = 0; g < chunks; ++g)
        for (int k = 0; k < 3; ++k) {
            lo[k][g] = boxes[6 * g + k];
            hi[k][g] = boxes[6 * g + 3 + k];
        }
    double c[3][n], e[3][n], r[3][n];
    for (int k = 0; k < 3; ++k)
        for (std::size_t g = 0; g < n; ++g) {
            c[k][g] = (lo[k][g] + hi[k][g]) / 2;
            e[k][g] = (hi[k][g] - lo[k][g]) / 2;
            r[k][g] = larger(-lo[k][g], hi[k][g]);
        }
    // Each function's value at the boxes' centres, its spread over them, and the size of its terms.
    auto mid = [&](const Linear& f, double(&v)[n]) {
        for (std::size_t g = 0; g < n; ++g) v[g] = f.a0 * c[0][g] + f.a1 * c[1][g] + f.a2 * c[2][g] + f.b;
    };
    auto spread = [&](const Linear& f, double(&v)[n]) {
        for (std::size_t g = 0; g < n; ++g) v[g] = f.m0 * e[0][g] + f.m1 * e[1][g] + f.m2 * e[2][g];
    };
    auto terms = [&](const Linear& f, double(&v)[n]) {
        for (std::size_t g = 0; g < n; ++g) v[g] = f.m0 * r[0][g] + f.m1 * r[1][g] + f.m2 * r[2][g] + f.mb;
    };
    double x[n], xs[n], xt[n], y[n], ys[n], yt[n], z[n], zs[n], w[n], ws[n], wt[n], f[n], fs[n];
    mid(projector.linear(0), x);
    spread(projector.linear(0), xs);
    terms(projector.linear(0), xt);
    mid(projector.linear(1), y);
    spread(projector.linear(1), ys);
    terms(projector.linear(1), yt);
    mid(projector.linear(2), z);
    spread(projector.linear(2), zs);
    mid(projector.linear(3), w);
    spread(projector.linear(3), ws);
    terms(projector.linear(3), wt);
    mid(projector.linear(4), f);
    spread(projector.linear(4), fs);
    const double halfWidth = projector.halfWidth(), halfHeight = projector.halfHeight();
    const Linear &fx = projector.linear(0), &fy = projector.linear(1), &fw = projector.linear(3);
    double left[n], top[n], right[n], bottom[n];
    for (std::size_t g = 0; g < n; ++g) {
        // Where w is positive over a box, its picture is the hull of its eight corners' pictures:
        // their extremes bound it, much closer than x and w taken apart (which vary together).
        // Where it is not, these values go unused.
        const double near = 1 / (w[g] - ws[g]);
        double l = kInfinity, rt = -kInfinity, b = kInfinity, t = -kInfinity;
        for (int corner = 0; corner < 8; ++corner) {
            const double d0 = corner & 1 ? e[0][g] : -e[0][g], d1 = corner & 2 ? e[1][g] : -e[1][g],
                         d2 = corner & 4 ? e[2][g] : -e[2][g];
            const double iw = 1 / (w[g] + fw.a0 * d0 + fw.a1 * d1 + fw.a2 * d2);
            const double px = (x[g] + fx.a0 * d0 + fx.a1 * d1 + fx.a2 * d2) * iw;
            const double py = (y[g] + fy.a0 * d0 + fy.a1 * d1 + fy.a2 * d2) * iw;
            l = smaller(l, px);
            rt = larger(rt, px);
            b = smaller(b, py);
            t = larger(t, py);
        }
        // How far a corner's pixel done in float can stray: the sums of four terms with the
        // matrix's own rounding, the division and the step to pixels, with a factor of two to spare.
        const double ndcX = larger(-l, rt), ndcY = larger(-b, t);
        const double strayX =
            halfWidth * kFloatRoundoff * (10 * (xt[g] + ndcX * wt[g]) * near + 6 * (ndcX + 1));
        const double strayY =
            halfHeight * kFloatRoundoff * (10 * (yt[g] + ndcY * wt[g]) * near + 6 * (ndcY + 1));
        left[g] = (l + 1) * halfWidth - strayX;
        right[g] = (rt + 1) * halfWidth + strayX;
        top[g] = (1 - t) * halfHeight - strayY;
        bottom[g] = (1 - b) * halfHeight + strayY;
    }
    for (std::size_t g = 0; g < chunks; ++g) {
        ChunkBound& bound = out[g];
        bound = {};
        if (z[g] + zs[g] < 0 || f[g] - fs[g] > 0) continue;
        bound.reach = Reach::Anywhere;
        if (z[g] - zs[g] < 0 || f[g] + fs[g] > 0 || !(w[g] - ws[g] > 0)) continue;
        if (!std::isfinite(left[g] + right[g] + top[g] + bottom[g])) continue;
        bound = {Reach::Box, left[g], top[g], right[g], bottom[g]};
    }
}

// `polygon` (n points) cut to where `side` is not negative; returns the new count.
template <class Side>
int clipPolygon(const Clip* polygon, int n, Clip* out, Side side) {
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const Clip& a = polygon[i];
        const Clip& b = polygon[(i + 1) % n];
        const double sa = side(a), sb = side(b);
        if (sa >= 0) out[count++] = a;
        if ((sa >= 0) != (sb >= 0)) {
            const double t = sa / (sa - sb);
            out[count++] = {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z),
                            a.w + t * (b.w - a.w)};
        }
    }
    return count;
}

// One corner projected with the same float arithmetic as a chunk's, or nothing when it lies
// outside 0 <= z <= w.
bool projectCorner(const float* c, const Projector& projector, Point& out) {
    const auto& m = projector.matrix();
    const float x = c[0], y = c[1], z = c[2];
    const float cx = x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0];
    const float cy = x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1];
    const float cz = x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2];
    const float cw = x * m[0][3] + y * m[1][3] + z * m[2][3] + m[3][3];
    if (!(cz >= 0 && cz <= cw && cw > 0)) return false;
    out = {(cx / cw + 1.0f) * static_cast<float>(projector.halfWidth()),
           (1.0f - cy / cw) * static_cast<float>(projector.halfHeight())};
    return std::isfinite(out[0]) && std::isfinite(out[1]);
}

// A chunk's triangles projected: the pixels of its corners, used for the triangles wholly within
// 0 <= z <= w, and the clipped points of those that cross a depth plane.
struct ProjectedChunk {
    std::size_t triangles = 0;
    float x[kChunkCorners], y[kChunkCorners];
    bool whole[kChunkTriangles];
    Point clipped[kChunkTriangles * 5];
    std::size_t clippedCount = 0;
};

// `floats`: a whole chunk of corners (the last chunk padded), so that the loops have a fixed count
// and vectorize; only the first `triangles` count. Each corner is transformed once, and only the
// triangles that cross a depth plane are clipped.
void projectChunk(const float* floats, std::size_t triangles, const Projector& projector,
                  ProjectedChunk& out) {
    float px[kChunkCorners], py[kChunkCorners], pz[kChunkCorners];
    for (std::size_t i = 0; i < kChunkCorners; ++i) {
        px[i] = floats[3 * i];
        py[i] = floats[3 * i + 1];
        pz[i] = floats[3 * i + 2];
    }
    // Copies, which the stores below cannot alias: the loop vectorizes.
    const auto& matrix = projector.matrix();
    const float m00 = matrix[0][0], m01 = matrix[0][1], m02 = matrix[0][2], m03 = matrix[0][3];
    const float m10 = matrix[1][0], m11 = matrix[1][1], m12 = matrix[1][2], m13 = matrix[1][3];
    const float m20 = matrix[2][0], m21 = matrix[2][1], m22 = matrix[2][2], m23 = matrix[2][3];
    const float m30 = matrix[3][0], m31 = matrix[3][1], m32 = matrix[3][2], m33 = matrix[3][3];
    const float halfWidth = static_cast<float>(projector.halfWidth());
    const float halfHeight = static_cast<float>(projector.halfHeight());
    float cx[kChunkCorners], cy[kChunkCorners], cz[kChunkCorners], cw[kChunkCorners];
    bool within[kChunkCorners];
    for (std::size_t i = 0; i < kChunkCorners; ++i) {
        const float x = px[i], y = py[i], z = pz[i];
        cx[i] = x * m00 + y * m10 + z * m20 + m30;
        cy[i] = x * m01 + y * m11 + z * m21 + m31;
        cz[i] = x * m02 + y * m12 + z * m22 + m32;
        cw[i] = x * m03 + y * m13 + z * m23 + m33;
        // Meaningless where w <= 0: such a corner is not within, and its pixel goes unused.
        out.x[i] = (cx[i] / cw[i] + 1.0f) * halfWidth;
        out.y[i] = (1.0f - cy[i] / cw[i]) * halfHeight;
        within[i] = (cz[i] >= 0) & (cz[i] <= cw[i]) & (cw[i] > 0);
    }
    out.triangles = triangles;
    out.clippedCount = 0;
    auto nearSide = [](const Clip& c) { return c.z; };
    auto farSide = [](const Clip& c) { return c.w - c.z; };
    for (std::size_t t = 0; t < triangles; ++t) {
        const std::size_t i = 3 * t;
        out.whole[t] = within[i] && within[i + 1] && within[i + 2];
        if (out.whole[t]) continue;
        const Clip v[3] = {{cx[i], cy[i], cz[i], cw[i]},
                           {cx[i + 1], cy[i + 1], cz[i + 1], cw[i + 1]},
                           {cx[i + 2], cy[i + 2], cz[i + 2], cw[i + 2]}};
        if ((v[0].z < 0 && v[1].z < 0 && v[2].z < 0) ||
            (v[0].z > v[0].w && v[1].z > v[1].w && v[2].z > v[2].w))
            continue;
        Clip nearCut[4], farCut[5];
        const int n = clipPolygon(v, 3, nearCut, nearSide);
        const int count = clipPolygon(nearCut, n, farCut, farSide);
        for (int k = 0; k < count; ++k) {
            // 0 <= z <= w leaves w >= 0; w = 0 only at a point no projection can divide by.
            if (!(farCut[k].w > 0)) continue;
            const Point p = projector.pixel(farCut[k]);
            if (std::isfinite(p[0]) && std::isfinite(p[1])) out.clipped[out.clippedCount++] = p;
        }
    }
}

double cross(const Point& o, const Point& a, const Point& b) {
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

// The convex hull of points sorted by x, then y, none repeated (Andrew's monotone chain): from the
// leftmost vertex along the side of smaller y (the top on the screen) and back, so clockwise on
// the screen; collinear points dropped.
std::vector<Point> hullOfSorted(const std::vector<Point>& points) {
    const std::size_t n = points.size();
    if (n < 3) return points;
    std::vector<Point> hull;
    for (std::size_t i = 0; i < n; ++i) {
        while (hull.size() >= 2 && cross(hull[hull.size() - 2], hull.back(), points[i]) <= 0) hull.pop_back();
        hull.push_back(points[i]);
    }
    for (std::size_t i = n - 1, lower = hull.size() + 1; i > 0; --i) {
        while (hull.size() >= lower && cross(hull[hull.size() - 2], hull.back(), points[i - 1]) <= 0)
            hull.pop_back();
        hull.push_back(points[i - 1]);
    }
    hull.pop_back();
    return hull;
}

// `a` and `b` (each sorted) as one sorted list without repeats.
std::vector<Point> mergeSorted(const std::vector<Point>& a, const std::vector<Point>& b) {
    std::vector<Point> merged(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), merged.begin());
    merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
    return merged;
}

// `points` in order of x, then y, none repeated: dealt into buckets by x, each then sorted on its
// own, which for points spread over a range is linear in their number.
void sortPoints(std::vector<Point>& points) {
    if (points.size() < 64) {
        std::sort(points.begin(), points.end());
    } else {
        const auto [first, last] = std::minmax_element(
            points.begin(), points.end(), [](const Point& a, const Point& b) { return a[0] < b[0]; });
        const double xMin = (*first)[0], xMax = (*last)[0];
        const std::size_t buckets = points.size() / 4;
        const double scale = xMax > xMin ? (buckets - 1) / (xMax - xMin) : 0;
        auto bucketOf = [&](const Point& p) { return static_cast<std::size_t>((p[0] - xMin) * scale); };
        std::vector<std::uint32_t> starts(buckets + 1, 0);
        for (const Point& p : points) ++starts[bucketOf(p) + 1];
        for (std::size_t i = 1; i <= buckets; ++i) starts[i] += starts[i - 1];
        std::vector<Point> dealt(points.size());
        std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
        for (const Point& p : points) dealt[next[bucketOf(p)]++] = p;
        for (std::size_t i = 0; i < buckets; ++i) {
            const auto begin = dealt.begin() + starts[i], end = dealt.begin() + starts[i + 1];
            if (end - begin > 16) {
                std::sort(begin, end);
                continue;
            }
            for (auto j = begin; j != end; ++j)
                for (auto k = j; k != begin && *k < *(k - 1); --k) std::iter_swap(k, k - 1);
        }
        points.swap(dealt);
    }
    points.erase(std::unique(points.begin(), points.end()), points.end());
}

// The highest and lowest of the points given to it in each column of the back buffer (those left
// or right of it in the first or last column), and the first and last in order of x, then y: their
// hull, found without sorting, is nearly that of all the points. Near its steepest parts it may
// leave out a vertex.
class ColumnExtremes {
public:
    explicit ColumnExtremes(double width) : scale_(kExtremeColumns / width) {}

    void add(const Point& p) {
        const int c = static_cast<int>(std::clamp(p[0] * scale_, 0.0, kExtremeColumns - 1.0));
        if (!(highest_[c][0] <= kInfinity) || p[1] < highest_[c][1]) highest_[c] = p;
        if (!(lowest_[c][0] <= kInfinity) || p[1] > lowest_[c][1]) lowest_[c] = p;
        if (!seen_ || p < first_) first_ = p;
        if (!seen_ || last_ < p) last_ = p;
        seen_ = true;
    }

    std::vector<Point> hull() const {
        if (!seen_) return {};
        // Each run is in order of x, but two points of one column may come in either order.
        std::vector<Point> points{first_};
        for (int c = 0; c < kExtremeColumns; ++c)
            if (highest_[c][0] <= kInfinity) {
                if (lowest_[c] < highest_[c]) points.push_back(lowest_[c]);
                points.push_back(highest_[c]);
                if (highest_[c] < lowest_[c]) points.push_back(lowest_[c]);
            }
        points.push_back(last_);
        sortPoints(points);
        return hullOfSorted(points);
    }

private:
    static constexpr Point kNone{std::numeric_limits<double>::quiet_NaN(), 0};
    double scale_;
    // On the heap, as the inner hull's tables: the caller's stack may be small.
    std::vector<Point> highest_ = std::vector<Point>(kExtremeColumns, kNone);
    std::vector<Point> lowest_ = std::vector<Point>(kExtremeColumns, kNone);
    Point first_{}, last_{};
    bool seen_ = false;
};

// The edge lines of an inner hull's chains over a box's x range: a point there lies inside when
// it is on or below every top line and on or above every bottom one (the top chain is the greatest
// of its lines there, the bottom chain the least of its). A test with no branches, run over a whole
// chunk of points at once.
struct EdgeLines {
    static constexpr int kMost = 8;
    bool inside = false;  // the whole box is: no point needs the lines
    double xMin = 1, xMax = 0;
    int topCount = 0, bottomCount = 0;
    double topBase[kMost], topSlope[kMost], bottomBase[kMost], bottomSlope[kMost];
    bool exact = true;  // false when the chain had more edges there than lines are kept
};

// A convex polygon of points known to lie in the hull: whatever lies inside it cannot change the
// hull. Its top and bottom chains are functions of x, looked up from a column table.
class InnerHull {
public:
    const std::vector<Point>& vertices() const { return vertices_; }
    bool hasArea() const { return !top_.empty(); }

    // Starts as the hull of the column extremes of a sample. Any points of the model would do: the
    // ones it leaves outside make their chunks be looked at in full.
    void seed(const ColumnExtremes& sample) { build(sample.hull()); }

    // Makes this the hull of itself and `points` (which it empties).
    void grow(std::vector<Point>& points) {
        sortPoints(points);
        build(hullOfSorted(mergeSorted(sortedVertices(), points)));
        points.clear();
    }

    bool contains(const Point& p) const {
        if (!hasArea() || !(p[0] >= xMin_ && p[0] <= xMax_)) return false;
        const int c = column(p[0]);
        return chainAt(top_, topSlopes_, topSegment_[c], p[0]) <= p[1] &&
               p[1] <= chainAt(bottom_, bottomSlopes_, bottomSegment_[c], p[0]);
    }

    // Over a box the top chain is highest and the bottom chain lowest at the box's sides (the one
    // is convex, the other concave), so four values tell whether the box is inside. The coarse
    // band answers first for boxes well inside.
    bool contains(double left, double top, double right, double bottom) const {
        if (!hasArea() || !(left >= xMin_ && right <= xMax_)) return false;
        if (left >= inscribed_.left && right <= inscribed_.right && top >= inscribed_.top &&
            bottom <= inscribed_.bottom)
            return true;
        const int first = coarseColumn(left), last = coarseColumn(right);
        bool banded = last - first < 4;
        for (int c = first; banded && c <= last; ++c)
            banded = coarseTop_[c] <= top && bottom <= coarseBottom_[c];
        if (banded) return true;
        const int l = column(left), r = column(right);
        return std::max(chainAt(top_, topSlopes_, topSegment_[l], left),
                        chainAt(top_, topSlopes_, topSegment_[r], right)) <= top &&
               bottom <= std::min(chainAt(bottom_, bottomSlopes_, bottomSegment_[l], left),
                                  chainAt(bottom_, bottomSlopes_, bottomSegment_[r], right));
    }

    // The lines that decide which points of a box are inside, or that the whole box is (as
    // contains() tells, from the same four values). A chain the box lies wholly inside of needs no
    // lines.
    EdgeLines linesOver(double left, double top, double right, double bottom) const {
        EdgeLines lines;
        if (!hasArea()) return lines;
        lines.xMin = xMin_;
        lines.xMax = xMax_;
        const double l = std::clamp(left, xMin_, xMax_), r = std::clamp(right, xMin_, xMax_);
        const int cl = column(l), cr = column(r);
        const bool belowTop = top >= std::max(chainAt(top_, topSlopes_, topSegment_[cl], l),
                                              chainAt(top_, topSlopes_, topSegment_[cr], r));
        const bool aboveBottom = bottom <= std::min(chainAt(bottom_, bottomSlopes_, bottomSegment_[cl], l),
                                                    chainAt(bottom_, bottomSlopes_, bottomSegment_[cr], r));
        lines.inside = belowTop && aboveBottom && left >= xMin_ && right <= xMax_;
        if (lines.inside) return lines;
        if (!belowTop)
            lines.topCount =
                edgeLines(top_, topSegment_[cl], l, r, lines.topBase, lines.topSlope, lines.exact);
        if (!aboveBottom)
            lines.bottomCount = edgeLines(bottom_, bottomSegment_[cl], l, r, lines.bottomBase,
                                          lines.bottomSlope, lines.exact);
        return lines;
    }

private:
    void build(std::vector<Point> vertices) {
        vertices_ = std::move(vertices);
        top_.clear();
        bottom_.clear();
        if (vertices_.size() < 3) return;
        // The hull runs from the leftmost vertex along the top to the rightmost, then back; a
        // vertical side at either end belongs to neither chain as a function of x.
        right_ = static_cast<std::size_t>(std::max_element(vertices_.begin(), vertices_.end()) -
                                          vertices_.begin());
        top_.assign(vertices_.begin(), vertices_.begin() + static_cast<std::ptrdiff_t>(right_) + 1);
        if (top_[top_.size() - 2][0] == top_.back()[0]) top_.pop_back();
        bottom_.push_back(vertices_.front());
        for (std::size_t i = vertices_.size() - 1; i >= right_; --i) bottom_.push_back(vertices_[i]);
        if (bottom_[1][0] == bottom_[0][0]) bottom_.erase(bottom_.begin());
        xMin_ = top_.front()[0];
        xMax_ = top_.back()[0];
        if (top_.size() < 2 || bottom_.size() < 2 || !(xMin_ < xMax_)) {
            top_.clear();
            return;
        }
        auto slopesOf = [](const std::vector<Point>& chain, std::vector<double>& slopes) {
            slopes.resize(chain.size() - 1);
            for (std::size_t i = 0; i + 1 < chain.size(); ++i)
                slopes[i] = (chain[i + 1][1] - chain[i][1]) / (chain[i + 1][0] - chain[i][0]);
        };
        slopesOf(top_, topSlopes_);
        slopesOf(bottom_, bottomSlopes_);
        scale_ = kLookupColumns / (xMax_ - xMin_);
        for (int c = 0; c <= kLookupColumns; ++c) edges_[c] = xMin_ + c / scale_;
        edges_[kLookupColumns] = xMax_;
        for (std::size_t c = 0, t = 0, b = 0; c < kLookupColumns; ++c) {
            while (t + 2 < top_.size() && top_[t + 1][0] <= edges_[c]) ++t;
            while (b + 2 < bottom_.size() && bottom_[b + 1][0] <= edges_[c]) ++b;
            topSegment_[c] = t;
            bottomSegment_[c] = b;
        }
        {
            const double l = xMin_ + (xMax_ - xMin_) / 4, r = xMax_ - (xMax_ - xMin_) / 4;
            const int cl = column(l), cr = column(r);
            inscribed_.left = l;
            inscribed_.right = r;
            inscribed_.top = std::max(chainAt(top_, topSlopes_, topSegment_[cl], l),
                                      chainAt(top_, topSlopes_, topSegment_[cr], r));
            inscribed_.bottom = std::min(chainAt(bottom_, bottomSlopes_, bottomSegment_[cl], l),
                                         chainAt(bottom_, bottomSlopes_, bottomSegment_[cr], r));
        }
        // Each coarse column's band is inside over all of its width: its narrowest place is at one
        // of its sides.
        constexpr int kStep = kLookupColumns / kCoarseColumns;
        double topBefore = top_.front()[1], bottomBefore = bottom_.front()[1];
        for (int c = 0; c < kCoarseColumns; ++c) {
            const int next = std::min((c + 1) * kStep, kLookupColumns - 1);
            const double x = edges_[(c + 1) * kStep];
            const double topAfter = chainAt(top_, topSlopes_, topSegment_[next], x);
            const double bottomAfter = chainAt(bottom_, bottomSlopes_, bottomSegment_[next], x);
            coarseTop_[c] = std::max(topBefore, topAfter);
            coarseBottom_[c] = std::min(bottomBefore, bottomAfter);
            topBefore = topAfter;
            bottomBefore = bottomAfter;
        }
    }

    // The vertices in order of x, then y: the top chain, then the bottom one backwards.
    std::vector<Point> sortedVertices() const {
        if (vertices_.size() < 3) return vertices_;
        std::vector<Point> lower(vertices_.begin(),
                                 vertices_.begin() + static_cast<std::ptrdiff_t>(right_) + 1);
        std::vector<Point> upper(vertices_.rbegin(),
                                 vertices_.rend() - static_cast<std::ptrdiff_t>(right_) - 1);
        return mergeSorted(lower, upper);
    }

    int column(double x) const {
        int c = static_cast<int>(std::clamp((x - xMin_) * scale_, 0.0, kLookupColumns - 1.0));
        while (c > 0 && x < edges_[c]) --c;
        while (c < kLookupColumns - 1 && x > edges_[c + 1]) ++c;
        return c;
    }
    int coarseColumn(double x) const { return column(x) / (kLookupColumns / kCoarseColumns); }

    // y of `chain` at `x`, looking from the segment `from` on.
    static double chainAt(const std::vector<Point>& chain, const std::vector<double>& slopes,
                          std::size_t from, double x) {
        std::size_t i = from;
        while (i + 2 < chain.size() && chain[i + 1][0] < x) ++i;
        return chain[i][1] + slopes[i] * (x - chain[i][0]);
    }

    // The lines of `chain`'s segments from the one at `left` to the one at `right`; when there are
    // more than kMost, chords through every so many vertices instead, which lie on the inner side.
    static int edgeLines(const std::vector<Point>& chain, std::size_t from, double left, double right,
                         double* base, double* slope, bool& exact) {
        while (from + 2 < chain.size() && chain[from + 1][0] < left) ++from;
        std::size_t last = from;
        while (last + 2 < chain.size() && chain[last + 1][0] < right) ++last;
        const std::size_t segments = last - from + 1;
        const int count = static_cast<int>(std::min<std::size_t>(segments, EdgeLines::kMost));
        if (segments > EdgeLines::kMost) exact = false;
        for (int k = 0; k < count; ++k) {
            const Point& a =
                chain[from + segments * static_cast<std::size_t>(k) / static_cast<std::size_t>(count)];
            const Point& b =
                chain[from + segments * static_cast<std::size_t>(k + 1) / static_cast<std::size_t>(count)];
            slope[k] = (b[1] - a[1]) / (b[0] - a[0]);
            base[k] = a[1] - slope[k] * a[0];
        }
        return count;
    }

    static constexpr int kLookupColumns = 1024;
    static constexpr int kCoarseColumns = 64;

    std::vector<Point> vertices_;
    std::size_t right_ = 0;            // the rightmost vertex (of those, the one of greatest y)
    std::vector<Point> top_, bottom_;  // x strictly increasing; y smaller on top_
    std::vector<double> topSlopes_, bottomSlopes_;
    double xMin_ = 0, xMax_ = 0, scale_ = 0;
    std::vector<double> edges_ = std::vector<double>(kLookupColumns + 1);
    std::vector<std::size_t> topSegment_ = std::vector<std::size_t>(kLookupColumns);
    std::vector<std::size_t> bottomSegment_ = std::vector<std::size_t>(kLookupColumns);
    std::vector<double> coarseTop_ = std::vector<double>(kCoarseColumns);
    std::vector<double> coarseBottom_ = std::vector<double>(kCoarseColumns);
    struct {
        double left = 0, top = 0, right = -1, bottom = -1;
    } inscribed_;  // a rectangle inside: over the middle half in x, between the chains' ends there
};

// How far inside `lines` each corner of a part of a projected chunk (from corner `first` on)
// lies: negative for those outside. Plain values and local arrays, so that every loop vectorizes.
std::array<double, kPartCorners> slackInside(const ProjectedChunk& chunk, std::size_t first,
                                             const EdgeLines& lines) {
    std::array<double, kPartCorners> slack;
    double x[kPartCorners], top[kPartCorners], bottom[kPartCorners];
    for (std::size_t i = 0; i < kPartCorners; ++i) {
        x[i] = chunk.x[first + i];
        top[i] = -kInfinity;
        bottom[i] = kInfinity;
    }
    for (int k = 0; k < lines.topCount; ++k) {
        const double base = lines.topBase[k], slope = lines.topSlope[k];
        for (std::size_t i = 0; i < kPartCorners; ++i) top[i] = larger(top[i], base + slope * x[i]);
    }
    for (int k = 0; k < lines.bottomCount; ++k) {
        const double base = lines.bottomBase[k], slope = lines.bottomSlope[k];
        for (std::size_t i = 0; i < kPartCorners; ++i) bottom[i] = smaller(bottom[i], base + slope * x[i]);
    }
    const double xMin = lines.xMin, xMax = lines.xMax;
    for (std::size_t i = 0; i < kPartCorners; ++i) {
        const double y = chunk.y[first + i];
        slack[i] = smaller(smaller(x[i] - xMin, xMax - x[i]), smaller(y - top[i], bottom[i] - y));
    }
    return slack;
}

// The bounds of `count` projected corners of a chunk from corner `first` on, `Size` at most.
template <std::size_t Size>
void partBounds(const ProjectedChunk& chunk, std::size_t first, std::size_t count, double& left, double& top,
                double& right, double& bottom) {
    // Four lanes a step, as in cornerBounds; a full count (a fixed one) vectorizes.
    float x0[4], x1[4], y0[4], y1[4];
    for (int k = 0; k < 4; ++k) {
        x0[k] = x1[k] = chunk.x[first];
        y0[k] = y1[k] = chunk.y[first];
    }
    const std::size_t steps = count == Size ? Size : count / 4 * 4;
    for (std::size_t i = steps; i < count; ++i) {
        x0[0] = std::min(x0[0], chunk.x[first + i]);
        x1[0] = std::max(x1[0], chunk.x[first + i]);
        y0[0] = std::min(y0[0], chunk.y[first + i]);
        y1[0] = std::max(y1[0], chunk.y[first + i]);
    }
    for (std::size_t i = 0; i < steps; i += 4)
        for (int k = 0; k < 4; ++k) {
            const float x = chunk.x[first + i + k], y = chunk.y[first + i + k];
            x0[k] = x < x0[k] ? x : x0[k];
            x1[k] = x > x1[k] ? x : x1[k];
            y0[k] = y < y0[k] ? y : y0[k];
            y1[k] = y > y1[k] ? y : y1[k];
        }
    left = std::min({x0[0], x0[1], x0[2], x0[3]});
    right = std::max({x1[0], x1[1], x1[2], x1[3]});
    top = std::min({y0[0], y0[1], y0[2], y0[3]});
    bottom = std::max({y1[0], y1[1], y1[2], y1[3]});
}

struct Rectangle {
    double left, top, right, bottom;
};

// A convex polygon cut to a rectangle, one side at a time.
std::vector<Point> clipToRectangle(std::vector<Point> polygon, const Rectangle& r) {
    std::vector<Point> out;
    auto cut = [&](auto inside, auto crossing) {
        out.clear();
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const Point& a = polygon[i];
            const Point& b = polygon[(i + 1) % polygon.size()];
            if (inside(a)) out.push_back(a);
            if (inside(a) != inside(b)) out.push_back(crossing(a, b));
        }
        polygon.swap(out);
    };
    auto atX = [](double x) {
        return [x](const Point& a, const Point& b) {
            return Point{x, a[1] + (b[1] - a[1]) * ((x - a[0]) / (b[0] - a[0]))};
        };
    };
    auto atY = [](double y) {
        return [y](const Point& a, const Point& b) {
            return Point{a[0] + (b[0] - a[0]) * ((y - a[1]) / (b[1] - a[1])), y};
        };
    };
    cut([&](const Point& p) { return p[0] >= r.left; }, atX(r.left));
    cut([&](const Point& p) { return p[0] <= r.right; }, atX(r.right));
    cut([&](const Point& p) { return p[1] >= r.top; }, atY(r.top));
    cut([&](const Point& p) { return p[1] <= r.bottom; }, atY(r.bottom));
    return polygon;
}

bool needless(const Point& a, const Point& b, const Point& c) {
    const double ab = std::hypot(b[0] - a[0], b[1] - a[1]), bc = std::hypot(c[0] - b[0], c[1] - b[1]);
    return std::abs(cross(a, b, c)) <= 1e-12 * ab * bc;
}

// Drops repeated vertices and those on a straight line between their neighbours, which clipping
// leaves where the outline meets a corner or runs along a side.
std::vector<Point> withoutNeedlessVertices(const std::vector<Point>& polygon) {
    auto same = [](const Point& a, const Point& b) { return std::hypot(b[0] - a[0], b[1] - a[1]) < 1e-9; };
    std::vector<Point> out;
    for (const Point& p : polygon) {
        if (!out.empty() && same(out.back(), p)) continue;
        while (out.size() >= 2 && needless(out[out.size() - 2], out.back(), p)) out.pop_back();
        out.push_back(p);
    }
    while (out.size() >= 2 && same(out.back(), out.front())) out.pop_back();
    while (out.size() >= 3) {
        if (needless(out[out.size() - 2], out.back(), out.front()))
            out.pop_back();
        else if (needless(out.back(), out[0], out[1]))
            out.erase(out.begin());
        else
            break;
    }
    return out;
}

double area(const std::vector<Point>& polygon) {
    double twice = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Point& a = polygon[i];
        const Point& b = polygon[(i + 1) % polygon.size()];
        twice += a[0] * b[1] - a[1] * b[0];
    }
    return std::abs(twice) / 2;
}

bool inside(const InnerHull& hull, const Rectangle& r) {
    return hull.contains({r.left, r.top}) && hull.contains({r.right, r.top}) &&
           hull.contains({r.left, r.bottom}) && hull.contains({r.right, r.bottom});
}

ObjectLabel finish(std::vector<Point> hull, const Rectangle& drawable, const base::Rect& cut) {
    ObjectLabel label;
    std::vector<Point> polygon = withoutNeedlessVertices(clipToRectangle(std::move(hull), drawable));
    if (polygon.size() < 3 || !(area(polygon) >= kMinArea)) return label;
    double left = kInfinity, top = kInfinity, right = -kInfinity, bottom = -kInfinity;
    for (Point& p : polygon) {
        p[0] -= cut.left;
        p[1] -= cut.top;
        left = std::min(left, p[0]);
        right = std::max(right, p[0]);
        top = std::min(top, p[1]);
        bottom = std::max(bottom, p[1]);
    }
    const int x0 = std::clamp(static_cast<int>(std::floor(left)), 0, cut.width());
    const int y0 = std::clamp(static_cast<int>(std::floor(top)), 0, cut.height());
    const int x1 = std::clamp(static_cast<int>(std::ceil(right)), 0, cut.width());
    const int y1 = std::clamp(static_cast<int>(std::ceil(bottom)), 0, cut.height());
    label.box = std::array<int, 4>{x0, y0, x1 - x0, y1 - y0};
    label.polygon = std::move(polygon);
    return label;
}

}  // namespace

LabelShape::LabelShape(std::vector<std::array<float, 3>> corners) : corners_(std::move(corners)) {
    corners_.resize(corners_.size() / 3 * 3);
    const std::size_t chunks = (corners_.size() + kChunkCorners - 1) / kChunkCorners;
    boxes_.resize(6 * chunks);
    pointStarts_.reserve(chunks + 1);
    std::vector<Corner> distinct;
    for (std::size_t c = 0; c < chunks; ++c) {
        const std::size_t first = c * kChunkCorners;
        const std::size_t count = std::min(kChunkCorners, corners_.size() - first);
        chunkBox(corners_[first].data(), count, &boxes_[6 * c]);
        distinct.assign(corners_.begin() + static_cast<std::ptrdiff_t>(first),
                        corners_.begin() + static_cast<std::ptrdiff_t>(first + count));
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        // Whole triples, so that they go through the chunk projection as triangles do.
        while (distinct.size() % 3) distinct.push_back(distinct.front());
        pointStarts_.push_back(static_cast<std::uint32_t>(points_.size()));
        points_.insert(points_.end(), distinct.begin(), distinct.end());
    }
    pointStarts_.push_back(static_cast<std::uint32_t>(points_.size()));
    samples_.reserve(corners_.size() / kSampleStride + 1);
    for (std::size_t i = 0; i < corners_.size(); i += kSampleStride) samples_.push_back(corners_[i]);
}

ObjectLabel labelObject(std::span<const std::array<float, 3>> corners, const base::Matrix& world,
                        const base::Matrix& view, const base::Matrix& projection, int backBufferWidth,
                        int backBufferHeight, const base::Rect& cut) {
    return labelObject(LabelShape({corners.begin(), corners.end()}), world, view, projection, backBufferWidth,
                       backBufferHeight, cut);
}

ObjectLabel labelObject(const LabelShape& shape, const base::Matrix& world, const base::Matrix& view,
                        const base::Matrix& projection, int backBufferWidth, int backBufferHeight,
                        const base::Rect& cut) {
    // The part of the cut the device draws into.
    const Rectangle drawable{static_cast<double>(std::max(cut.left, 0)),
                             static_cast<double>(std::max(cut.top, 0)),
                             static_cast<double>(std::min(cut.right, backBufferWidth)),
                             static_cast<double>(std::min(cut.bottom, backBufferHeight))};
    const std::size_t cornerCount = shape.corners_.size();
    if (!(drawable.left < drawable.right && drawable.top < drawable.bottom) || cornerCount == 0) return {};
    const Projector projector(world, view, projection, backBufferWidth, backBufferHeight);
    const float* floats = shape.corners_.data()->data();
    const std::size_t chunkCount = shape.pointStarts_.size() - 1;

    // The inner hull starts from a sparse sample of the corners.
    InnerHull inner;
    {
        ColumnExtremes sample(backBufferWidth);
        for (const Corner& corner : shape.samples_)
            if (Point p; projectCorner(corner.data(), projector, p)) sample.add(p);
        inner.seed(sample);
    }
    std::vector<Point> pending;

    // One pass over the chunks: each is bounded, and projected while its corners are at hand when
    // it is not surely inside. Once the drawable cut lies inside, no point can change the outline:
    // it is the cut itself.
    bool covered = inside(inner, drawable);
    ProjectedChunk projected;
    std::array<float, kChunkCorners * 3> padded;
    ChunkBound bounds[kGroupChunks];
    // A chunk filled up with copies of its first corner, so that the projection's loops have a
    // fixed count.
    auto project = [&](const float* chunk, std::size_t count) {
        if (count < kChunkCorners) {
            std::copy(chunk, chunk + 3 * count, padded.begin());
            for (std::size_t i = count; i < kChunkCorners; ++i)
                std::copy(chunk, chunk + 3, padded.begin() + 3 * i);
            chunk = padded.data();
        }
        projectChunk(chunk, count / 3, projector, projected);
    };
    for (std::size_t c = 0; c < chunkCount && !covered; ++c) {
        const std::size_t first = c * kChunkCorners;
        const std::size_t inGroup = c % kGroupChunks;
        if (inGroup == 0)
            boundChunks(&shape.boxes_[6 * c], std::min(kGroupChunks, chunkCount - c), projector, bounds);
        const ChunkBound& b = bounds[inGroup];
        if (b.reach == Reach::Nothing) continue;
        if (b.reach == Reach::Box && inner.contains(b.left, b.top, b.right, b.bottom)) continue;
        // Within the depth range a chunk's outline is that of its distinct corners, taken as
        // triangles; should the float projection still put one outside it, the triangles decide.
        bool ofTriangles = b.reach != Reach::Box;
        if (!ofTriangles) {
            const std::uint32_t from = shape.pointStarts_[c], to = shape.pointStarts_[c + 1];
            project(shape.points_[from].data(), to - from);
            ofTriangles = !std::all_of(projected.whole, projected.whole + projected.triangles,
                                       [](bool w) { return w; });
        }
        if (ofTriangles) project(floats + 3 * first, std::min(kChunkCorners, cornerCount - first));
        // The points' own bounds are tighter than the chunk's box: often they are inside after all.
        // Otherwise each part is bounded on its own, and the lines over it are fewer. A part with a
        // triangle that crosses a depth plane has no bounds to take them over.
        const bool whole =
            std::all_of(projected.whole, projected.whole + projected.triangles, [](bool w) { return w; });
        double left = 0, top = 0, right = 0, bottom = 0;
        if (whole) {
            partBounds<kChunkCorners>(projected, 0, 3 * projected.triangles, left, top, right, bottom);
            if (inner.contains(left, top, right, bottom)) continue;
        }
        for (std::size_t t0 = 0; t0 < projected.triangles; t0 += kPartTriangles) {
            const std::size_t t1 = std::min(t0 + kPartTriangles, projected.triangles);
            const bool wholePart =
                whole || std::all_of(projected.whole + t0, projected.whole + t1, [](bool w) { return w; });
            EdgeLines lines;
            if (wholePart) {
                partBounds<kPartCorners>(projected, 3 * t0, 3 * (t1 - t0), left, top, right, bottom);
                lines = inner.linesOver(left, top, right, bottom);
                if (lines.inside) continue;
            }
            const std::array<double, kPartCorners> slack = slackInside(projected, 3 * t0, lines);
            for (std::size_t t = t0; t < t1; ++t)
                if (projected.whole[t])
                    for (std::size_t i = 3 * t; i < 3 * t + 3; ++i) {
                        const Point p{projected.x[i], projected.y[i]};
                        if (slack[i - 3 * t0] < 0 && std::isfinite(p[0] + p[1]) &&
                            ((wholePart && lines.exact) || !inner.contains(p)))
                            pending.push_back(p);
                    }
        }
        for (std::size_t i = 0; i < projected.clippedCount; ++i)
            if (!inner.contains(projected.clipped[i])) pending.push_back(projected.clipped[i]);
        if (pending.size() >= kPendingPoints) {
            inner.grow(pending);
            covered = inside(inner, drawable);
        }
    }
    if (covered)
        return finish({{drawable.left, drawable.top},
                       {drawable.right, drawable.top},
                       {drawable.right, drawable.bottom},
                       {drawable.left, drawable.bottom}},
                      drawable, cut);
    inner.grow(pending);
    return finish(inner.vertices(), drawable, cut);
}

}  // namespace render
