#pragma once
// Row-vector, left-handed 4x4 matrices with the published D3DX9 formulas.
#include "app/app_state.h"

namespace render {

struct Matrix {
    float m[4][4]{};
    static Matrix identity();
    friend bool operator==(const Matrix&, const Matrix&) = default;
};

Matrix matrixRotationX(float angle);
Matrix matrixRotationY(float angle);
Matrix matrixRotationZ(float angle);
Matrix matrixTranslation(float x, float y, float z);
Matrix matrixScaling(float x, float y, float z);
// a * b: a vector is transformed by a first, then by b.
Matrix matrixMultiply(const Matrix& a, const Matrix& b);
Matrix matrixLookAtLH(const app::Vec3& eye, const app::Vec3& at, const app::Vec3& up);
Matrix matrixPerspectiveFovLH(float fovY, float aspect, float nearZ, float farZ);

}  // namespace render
