#include "model/polygon.h"

#include <cmath>

namespace model {

namespace {

struct Point {
    double x, y;
};

double cross(const Point& o, const Point& a, const Point& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Whether p lies inside or on triangle abc, whose signed area has the sign `turn`.
bool inside(const Point& p, const Point& a, const Point& b, const Point& c, double turn) {
    return cross(a, b, p) * turn >= 0 && cross(b, c, p) * turn >= 0 && cross(c, a, p) * turn >= 0;
}

void fan(std::span<const std::uint32_t> corners, std::vector<std::uint32_t>& out) {
    for (std::size_t i = 1; i + 1 < corners.size(); ++i) {
        out.push_back(corners[0]);
        out.push_back(corners[i]);
        out.push_back(corners[i + 1]);
    }
}

}  // namespace

void triangulatePolygon(std::span<const std::array<float, 3>> corners, std::vector<std::uint32_t>& out) {
    const std::size_t n = corners.size();
    std::vector<std::uint32_t> left(n);
    for (std::size_t i = 0; i < n; ++i) left[i] = static_cast<std::uint32_t>(i);
    if (n < 3) return;
    if (n == 3 || n > kMaxClippedCorners) return fan(left, out);

    // The plane's normal by Newell's method; the polygon is seen along its largest axis.
    double normal[3] = {0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        const auto& a = corners[i];
        const auto& b = corners[(i + 1) % n];
        normal[0] += (double(a[1]) - b[1]) * (double(a[2]) + b[2]);
        normal[1] += (double(a[2]) - b[2]) * (double(a[0]) + b[0]);
        normal[2] += (double(a[0]) - b[0]) * (double(a[1]) + b[1]);
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(normal[k]) > std::fabs(normal[axis])) axis = k;
    if (!(std::fabs(normal[axis]) > 0)) return fan(left, out);  // flat, or not finite
    const int u = (axis + 1) % 3;
    const int v = (axis + 2) % 3;
    std::vector<Point> p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = {corners[i][u], corners[i][v]};
    // The sign of the area in this projection: which way the polygon turns.
    const double turn = normal[axis] > 0 ? 1.0 : -1.0;

    // Containment tests allowed before giving up on ears: ample for any real polygon.
    std::size_t budget = 8 * n * n;
    std::size_t at = 0;  // where the search for the next ear goes on
    while (left.size() > 3) {
        bool clipped = false;
        const std::size_t m = left.size();
        for (std::size_t step = 0; step < m && !clipped; ++step) {
            const std::size_t i = (at + step) % m;
            const std::uint32_t a = left[(i + m - 1) % m], b = left[i], c = left[(i + 1) % m];
            if (cross(p[a], p[b], p[c]) * turn <= 0) continue;  // a reflex or flat corner
            bool ear = true;
            for (const std::uint32_t other : left) {
                if (other == a || other == b || other == c) continue;
                if (budget-- == 0) return fan(left, out);
                if (inside(p[other], p[a], p[b], p[c], turn)) {
                    ear = false;
                    break;
                }
            }
            if (!ear) continue;
            out.push_back(a);
            out.push_back(b);
            out.push_back(c);
            left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
            at = i == 0 ? 0 : i - 1;
            clipped = true;
        }
        if (!clipped) return fan(left, out);  // crosses itself: no ear is left
    }
    out.insert(out.end(), left.begin(), left.end());
}

}  // namespace model
