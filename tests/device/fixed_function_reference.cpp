#include "fixed_function_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace device_test {

double dot(const Vec& a, const Vec& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec normalize(const Vec& v) {
    const double length = std::sqrt(dot(v, v));
    return {v.x / length, v.y / length, v.z / length};
}

Rgba fromArgb(std::uint32_t argb) {
    return {((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
            ((argb >> 24) & 0xFF) / 255.0};
}

Rgba clamp01(const Rgba& c) {
    return {std::clamp(c.r, 0.0, 1.0), std::clamp(c.g, 0.0, 1.0), std::clamp(c.b, 0.0, 1.0),
            std::clamp(c.a, 0.0, 1.0)};
}

base::Matrix rotationX(double angle) {
    base::Matrix m = base::Matrix::identity();
    m.m[1][1] = m.m[2][2] = static_cast<float>(std::cos(angle));
    m.m[1][2] = static_cast<float>(std::sin(angle));
    m.m[2][1] = -m.m[1][2];
    return m;
}

base::Matrix rotationY(double angle) {
    base::Matrix m = base::Matrix::identity();
    m.m[0][0] = m.m[2][2] = static_cast<float>(std::cos(angle));
    m.m[2][0] = static_cast<float>(std::sin(angle));
    m.m[0][2] = -m.m[2][0];
    return m;
}

base::Matrix translation(double x, double y, double z) {
    base::Matrix m = base::Matrix::identity();
    m.m[3][0] = static_cast<float>(x);
    m.m[3][1] = static_cast<float>(y);
    m.m[3][2] = static_cast<float>(z);
    return m;
}

base::Matrix orthoLH(double width, double height, double nearZ, double farZ) {
    base::Matrix m{};
    m.m[0][0] = static_cast<float>(2.0 / width);
    m.m[1][1] = static_cast<float>(2.0 / height);
    m.m[2][2] = static_cast<float>(1.0 / (farZ - nearZ));
    m.m[3][2] = static_cast<float>(nearZ / (nearZ - farZ));
    m.m[3][3] = 1.0f;
    return m;
}

base::Matrix perspectiveFovLH(double fovY, double aspect, double nearZ, double farZ) {
    const double yScale = 1.0 / std::tan(fovY / 2.0);
    base::Matrix m{};
    m.m[0][0] = static_cast<float>(yScale / aspect);
    m.m[1][1] = static_cast<float>(yScale);
    m.m[2][2] = static_cast<float>(farZ / (farZ - nearZ));
    m.m[2][3] = 1.0f;
    m.m[3][2] = static_cast<float>(-nearZ * farZ / (farZ - nearZ));
    return m;
}

base::Matrix rigidInverse(const base::Matrix& m) {
    base::Matrix inverse = base::Matrix::identity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) inverse.m[i][j] = m.m[j][i];
    for (int j = 0; j < 3; ++j)
        inverse.m[3][j] = -(m.m[3][0] * m.m[j][0] + m.m[3][1] * m.m[j][1] + m.m[3][2] * m.m[j][2]);
    return inverse;
}

Vec transformDirection(const Vec& d, const base::Matrix& m) {
    double out[3];
    for (int j = 0; j < 3; ++j) out[j] = d.x * m.m[0][j] + d.y * m.m[1][j] + d.z * m.m[2][j];
    return {out[0], out[1], out[2]};
}

Vec transformPoint(const Vec& p, const base::Matrix& m) {
    const Vec d = transformDirection(p, m);
    return {d.x + m.m[3][0], d.y + m.m[3][1], d.z + m.m[3][2]};
}

ScreenPoint toScreen(const Vec& p, const base::Matrix& worldViewProjection, int width, int height) {
    double clip[4];
    for (int j = 0; j < 4; ++j)
        clip[j] = p.x * worldViewProjection.m[0][j] + p.y * worldViewProjection.m[1][j] +
                  p.z * worldViewProjection.m[2][j] + worldViewProjection.m[3][j];
    // The viewport maps -1..1 to the back buffer's edges, y downwards.
    return {(clip[0] / clip[3] + 1.0) / 2.0 * width, (1.0 - clip[1] / clip[3]) / 2.0 * height,
            clip[2] / clip[3]};
}

LitVertex lightVertex(const Vec& cameraPosition, const Vec& cameraNormal, const Vec& cameraLightDirection,
                      const device::Light& light, const base::Material& material, bool specularEnable) {
    const Vec toLight =
        normalize({-cameraLightDirection.x, -cameraLightDirection.y, -cameraLightDirection.z});
    const double nl = std::max(0.0, dot(cameraNormal, toLight));
    const auto& cd = material.diffuse;
    const auto& ca = material.ambient;
    const auto& ce = material.emissive;
    LitVertex out;
    out.diffuse = clamp01({ce.r + ca.r * light.ambient.r + cd.r * light.diffuse.r * nl,
                           ce.g + ca.g * light.ambient.g + cd.g * light.diffuse.g * nl,
                           ce.b + ca.b * light.ambient.b + cd.b * light.diffuse.b * nl, cd.a});
    out.specular = {0, 0, 0, 0};
    if (specularEnable) {
        // The cases light specular surfaces only where N.L > 0: devices differ where it is not.
        const Vec toCamera = normalize({-cameraPosition.x, -cameraPosition.y, -cameraPosition.z});
        const Vec half = normalize({toCamera.x + toLight.x, toCamera.y + toLight.y, toCamera.z + toLight.z});
        const double nh = dot(cameraNormal, half);
        const double s = nh > 0 ? std::pow(nh, material.power) : 0.0;
        const auto& cs = material.specular;
        out.specular = clamp01(
            {cs.r * light.specular.r * s, cs.g * light.specular.g * s, cs.b * light.specular.b * s, 0});
    }
    return out;
}

namespace {

Rgba argument(std::uint32_t which, const Rgba& texel, const Rgba& diffuse) {
    if (which == device::kTaTexture) return texel;
    if (which != device::kTaDiffuse && which != device::kTaCurrent)
        ADD_FAILURE() << "the reference has no stage argument " << which;
    return diffuse;
}

Rgba operation(std::uint32_t op, const Rgba& a, const Rgba& b) {
    switch (op) {
        case device::kTopSelectArg1:
            return a;
        case device::kTopSelectArg2:
            return b;
        case device::kTopModulate:
            return {a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a};
        default:
            ADD_FAILURE() << "the reference has no stage operation " << op;
            return a;
    }
}

}  // namespace

Rgba stage0(const StageStates& s, const Rgba& texel, const Rgba& diffuse) {
    // A disabled colour operation disables the whole stage: stage 0 then passes the diffuse
    // colour and its alpha through.
    if (s.colourOp == device::kTopDisable) return diffuse;
    const Rgba colour =
        operation(s.colourOp, argument(s.colourArg1, texel, diffuse), argument(s.colourArg2, texel, diffuse));
    const Rgba alpha =
        operation(s.alphaOp, argument(s.alphaArg1, texel, diffuse), argument(s.alphaArg2, texel, diffuse));
    return {colour.r, colour.g, colour.b, alpha.a};
}

Rgba blendSrcAlpha(const Rgba& source, const Rgba& destination) {
    const double a = source.a;
    return clamp01({source.r * a + destination.r * (1 - a), source.g * a + destination.g * (1 - a),
                    source.b * a + destination.b * (1 - a), 1});
}

Rgba storedIn565(const Rgba& c) {
    const Rgba k = clamp01(c);
    return {std::round(k.r * 31) / 31, std::round(k.g * 63) / 63, std::round(k.b * 31) / 31, 1};
}

bool onGrid(int value, int bits) {
    const int shift = 8 - bits;
    const int max = (1 << bits) - 1;
    const int level = value >> shift;
    // Widened by repeating the top bits, by rounding level * 255 / max, or by a plain shift.
    return value == ((level << shift) | (level >> (bits - shift))) ||
           value == static_cast<int>(std::lround(level * 255.0 / max)) || value == (level << shift);
}

::testing::AssertionResult showsColour(const base::Image& image, int x, int y, const Rgba& expected) {
    const std::uint32_t pixel = image.at(x, y);
    const int actual[3] = {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
                           static_cast<int>(pixel & 0xFF)};
    const Rgba e = clamp01(expected);
    const double wanted[3] = {e.r, e.g, e.b};
    const int levels[3] = {31, 63, 31};
    bool ok = true;
    for (int c = 0; c < 3; ++c) {
        // The pixel's nearest 5-6-5 level against the expected colour's.
        const long got = std::lround(actual[c] * levels[c] / 255.0);
        const long want = std::lround(wanted[c] * levels[c]);
        if (std::labs(got - want) > 1) ok = false;
    }
    if (ok) return ::testing::AssertionSuccess();
    const Rgba q = storedIn565(e);
    char text[160];
    std::snprintf(text, sizeof text,
                  "pixel (%d, %d) is #%02X%02X%02X, expected #%02lX%02lX%02lX (as 5-6-5: #%02lX%02lX%02lX)",
                  x, y, actual[0], actual[1], actual[2], std::lround(e.r * 255), std::lround(e.g * 255),
                  std::lround(e.b * 255), std::lround(q.r * 255), std::lround(q.g * 255),
                  std::lround(q.b * 255));
    return ::testing::AssertionFailure() << text;
}

namespace {

// Twice the signed area of (a, b, p); positive when p is on the inner side of the edge a->b of
// a triangle that runs clockwise on the screen.
double edge(double ax, double ay, double bx, double by, double px, double py) {
    return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}

}  // namespace

bool clockwise(const ScreenTriangle& t) {
    return edge(t.x[0], t.y[0], t.x[1], t.y[1], t.x[2], t.y[2]) > 0;
}

bool covers(const ScreenTriangle& t, double px, double py) {
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        const double e = edge(t.x[i], t.y[i], t.x[j], t.y[j], px, py);
        if (e > 0) continue;
        if (e < 0) return false;
        // On the edge: a top edge is horizontal with the inside below it, a left edge runs
        // upwards with the inside to its right.
        const bool top = t.y[i] == t.y[j] && t.x[j] > t.x[i];
        const bool left = t.y[j] < t.y[i];
        if (!top && !left) return false;
    }
    return true;
}

void barycentric(const ScreenTriangle& t, double px, double py, double weights[3]) {
    const double area = edge(t.x[0], t.y[0], t.x[1], t.y[1], t.x[2], t.y[2]);
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        weights[i] = edge(t.x[j], t.y[j], t.x[k], t.y[k], px, py) / area;
    }
}

}  // namespace device_test
