#pragma once
// Left-handed row-vector matrices with the published D3DX9 formulas.
#include "base/matrix.h"
#include "base/vec3.h"

namespace render {

base::Matrix matrixRotationX(float angle);
base::Matrix matrixRotationY(float angle);
base::Matrix matrixRotationZ(float angle);
base::Matrix matrixTranslation(float x, float y, float z);
base::Matrix matrixScaling(float x, float y, float z);
base::Matrix matrixLookAtLH(const base::Vec3& eye, const base::Vec3& at, const base::Vec3& up);
base::Matrix matrixPerspectiveFovLH(float fovY, float aspect, float nearZ, float farZ);

}  // namespace render
