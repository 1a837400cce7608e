#include "render/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using base::Matrix;

void expectNear(const Matrix& actual, const float (&expected)[4][4], const char* what) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(actual.m[i][j], expected[i][j], 1e-5f) << what << " [" << i << "][" << j << "]";
}

TEST(Matrices, WorldOfZeroRotationAndPositionIsIdentityAndOrderIsRzRxRyT) {
    Matrix world = base::matrixMultiply(render::matrixRotationZ(0), render::matrixRotationX(0));
    world = base::matrixMultiply(world, render::matrixRotationY(0));
    world = base::matrixMultiply(world, render::matrixTranslation(0, 0, 0));
    world = base::matrixMultiply(world, render::matrixScaling(1, 1, 1));
    EXPECT_EQ(world, Matrix::identity());

    // Row vectors: (1,0,0) turned a quarter about z lands on (0,1,0), then moved by T.
    const Matrix rz = render::matrixRotationZ(std::numbers::pi_v<float> / 2);
    const Matrix t = render::matrixTranslation(5, 6, 7);
    const Matrix m = base::matrixMultiply(rz, t);
    EXPECT_NEAR(m.m[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(m.m[0][1], 1.0f, 1e-6f);
    EXPECT_EQ(m.m[3][0], 5.0f);
    EXPECT_EQ(m.m[3][2], 7.0f);
    const float rx[4][4] = {{1, 0, 0, 0},
                            {0, std::cos(0.3f), std::sin(0.3f), 0},
                            {0, -std::sin(0.3f), std::cos(0.3f), 0},
                            {0, 0, 0, 1}};
    expectNear(render::matrixRotationX(0.3f), rx, "rotation about x");
    const float ry[4][4] = {{std::cos(0.3f), 0, -std::sin(0.3f), 0},
                            {0, 1, 0, 0},
                            {std::sin(0.3f), 0, std::cos(0.3f), 0},
                            {0, 0, 0, 1}};
    expectNear(render::matrixRotationY(0.3f), ry, "rotation about y");
}

TEST(Matrices, LookAtWithYawZeroLooksAlongZFromTheEye) {
    // Eye (0,3,-3) looking at (0,3,-1): a pure translation of the eye to the origin.
    const Matrix view = render::matrixLookAtLH({0, 3, -3}, {0, 3, -1}, {0, 1, 0});
    const float expected[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, -3, 3, 1}};
    expectNear(view, expected, "look-at");

    // Looking down at lookHeight 2.4 tilts the view; the point itself lands on the +z axis.
    const Matrix tilted = render::matrixLookAtLH({0, 3, -3}, {0, 2.4f, -1}, {0, 1, 0});
    const float p[3] = {0, 2.4f, -1};
    float out[3];
    for (int j = 0; j < 3; ++j)
        out[j] = p[0] * tilted.m[0][j] + p[1] * tilted.m[1][j] + p[2] * tilted.m[2][j] + tilted.m[3][j];
    EXPECT_NEAR(out[0], 0.0f, 1e-5f);
    EXPECT_NEAR(out[1], 0.0f, 1e-5f);
    EXPECT_NEAR(out[2], std::sqrt(0.36f + 4.0f), 1e-5f);

    // An eye off the axis, turned: the eye itself lands on the origin and the point looked at on
    // the +z axis, whatever the turn.
    const base::Vec3 eye{1.5f, 3.0f, -2.0f};
    const base::Vec3 at{eye.x + 2.0f * std::sin(0.5f), 2.4f, eye.z + 2.0f * std::cos(0.5f)};
    const Matrix turned = render::matrixLookAtLH(eye, at, {0, 1, 0});
    const auto place = [&](const base::Vec3& v, int j) {
        return v.x * turned.m[0][j] + v.y * turned.m[1][j] + v.z * turned.m[2][j] + turned.m[3][j];
    };
    for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(place(eye, j), 0.0f, 1e-5f) << "the eye is not the origin, axis " << j;
    EXPECT_NEAR(place(at, 0), 0.0f, 1e-5f);
    EXPECT_NEAR(place(at, 1), 0.0f, 1e-5f);
    EXPECT_NEAR(place(at, 2), std::sqrt(4.0f + 0.36f), 1e-5f);
}

TEST(Matrices, PerspectiveFovLHMapsNearToZeroAndFarToOne) {
    const Matrix p = render::matrixPerspectiveFovLH(1.0471976f, 1.0f, 0.01f, 2000.0f);
    const float yScale = 1.0f / std::tan(1.0471976f / 2);
    EXPECT_FLOAT_EQ(p.m[0][0], yScale);
    EXPECT_FLOAT_EQ(p.m[1][1], yScale);
    EXPECT_EQ(p.m[2][3], 1.0f);
    auto depth = [&](float z) { return (z * p.m[2][2] + p.m[3][2]) / z; };
    EXPECT_NEAR(depth(0.01f), 0.0f, 1e-5f);
    EXPECT_NEAR(depth(2000.0f), 1.0f, 1e-5f);
}

}  // namespace
