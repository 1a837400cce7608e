#include "render/matrix.h"

#include <cmath>

namespace render {

using base::Matrix;

using base::Matrix;
using base::Vec3;

Matrix matrixRotationX(float angle) {
    Matrix r = Matrix::identity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Matrix matrixRotationY(float angle) {
    Matrix r = Matrix::identity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Matrix matrixRotationZ(float angle) {
    Matrix r = Matrix::identity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Matrix matrixTranslation(float x, float y, float z) {
    Matrix r = Matrix::identity();
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

Matrix matrixScaling(float x, float y, float z) {
    Matrix r;
    r.m[0][0] = x;
    r.m[1][1] = y;
    r.m[2][2] = z;
    r.m[3][3] = 1.0f;
    return r;
}

namespace {
base::Vec3 sub(const base::Vec3& a, const base::Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
base::Vec3 cross(const base::Vec3& a, const base::Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float dot(const base::Vec3& a, const base::Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
base::Vec3 normalize(const base::Vec3& v) {
    const float len = std::sqrt(dot(v, v));
    if (len == 0.0f) return v;
    return {v.x / len, v.y / len, v.z / len};
}
}  // namespace

Matrix matrixLookAtLH(const base::Vec3& eye, const base::Vec3& at, const base::Vec3& up) {
    const base::Vec3 zaxis = normalize(sub(at, eye));
    const base::Vec3 xaxis = normalize(cross(up, zaxis));
    const base::Vec3 yaxis = cross(zaxis, xaxis);
    Matrix r;
    r.m[0][0] = xaxis.x;
    r.m[0][1] = yaxis.x;
    r.m[0][2] = zaxis.x;
    r.m[1][0] = xaxis.y;
    r.m[1][1] = yaxis.y;
    r.m[1][2] = zaxis.y;
    r.m[2][0] = xaxis.z;
    r.m[2][1] = yaxis.z;
    r.m[2][2] = zaxis.z;
    r.m[3][0] = -dot(xaxis, eye);
    r.m[3][1] = -dot(yaxis, eye);
    r.m[3][2] = -dot(zaxis, eye);
    r.m[3][3] = 1.0f;
    return r;
}

Matrix matrixPerspectiveFovLH(float fovY, float aspect, float nearZ, float farZ) {
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    const float xScale = yScale / aspect;
    Matrix r;
    r.m[0][0] = xScale;
    r.m[1][1] = yScale;
    r.m[2][2] = farZ / (farZ - nearZ);
    r.m[2][3] = 1.0f;
    r.m[3][2] = -nearZ * farZ / (farZ - nearZ);
    return r;
}

}  // namespace render
