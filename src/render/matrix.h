#pragma once
// Left-handed row-vector matrices with the published D3DX9 formulas.
#include "base/matrix.h"
#include "base/vec3.h"

namespace render {

using base::Matrix;
using base::matrixMultiply;

Matrix matrixRotationX(float angle);
Matrix matrixRotationY(float angle);
Matrix matrixRotationZ(float angle);
Matrix matrixTranslation(float x, float y, float z);
Matrix matrixScaling(float x, float y, float z);
Matrix matrixLookAtLH(const base::Vec3& eye, const base::Vec3& at, const base::Vec3& up);
Matrix matrixPerspectiveFovLH(float fovY, float aspect, float nearZ, float farZ);

}  // namespace render
