#pragma once
// Placing a mesh vertex with a row-vector matrix: the position by the whole matrix, the normal
// by the inverse transpose of its upper 3x3 part.
#include <cmath>

#include "base/matrix.h"
#include "base/mesh_data.h"

namespace base {

// The inverse transpose is the cofactor matrix divided by the determinant; only its direction
// matters, as normals are made unit length, so only the determinant's sign is kept.
struct NormalTransform {
    float c[3][3]{};
    bool mirrors = false;  // a negative determinant: triangles seen from the front turn round

    explicit NormalTransform(const Matrix& m) {
        const auto& a = m.m;
        c[0][0] = a[1][1] * a[2][2] - a[1][2] * a[2][1];
        c[0][1] = a[1][2] * a[2][0] - a[1][0] * a[2][2];
        c[0][2] = a[1][0] * a[2][1] - a[1][1] * a[2][0];
        c[1][0] = a[0][2] * a[2][1] - a[0][1] * a[2][2];
        c[1][1] = a[0][0] * a[2][2] - a[0][2] * a[2][0];
        c[1][2] = a[0][1] * a[2][0] - a[0][0] * a[2][1];
        c[2][0] = a[0][1] * a[1][2] - a[0][2] * a[1][1];
        c[2][1] = a[0][2] * a[1][0] - a[0][0] * a[1][2];
        c[2][2] = a[0][0] * a[1][1] - a[0][1] * a[1][0];
        const float det = a[0][0] * c[0][0] + a[0][1] * c[0][1] + a[0][2] * c[0][2];
        mirrors = det < 0;
        if (mirrors) {
            for (auto& row : c) {
                for (float& v : row) v = -v;
            }
        }
    }

    void apply(MeshVertex& v) const {
        const float x = v.nx * c[0][0] + v.ny * c[1][0] + v.nz * c[2][0];
        const float y = v.nx * c[0][1] + v.ny * c[1][1] + v.nz * c[2][1];
        const float z = v.nx * c[0][2] + v.ny * c[1][2] + v.nz * c[2][2];
        const float length = std::sqrt(x * x + y * y + z * z);
        if (length > 0) {
            v.nx = x / length;
            v.ny = y / length;
            v.nz = z / length;
        }
    }
};

inline void transformVertex(MeshVertex& v, const Matrix& m, const NormalTransform& normals) {
    const auto& a = m.m;
    const float x = v.x * a[0][0] + v.y * a[1][0] + v.z * a[2][0] + a[3][0];
    const float y = v.x * a[0][1] + v.y * a[1][1] + v.z * a[2][1] + a[3][1];
    const float z = v.x * a[0][2] + v.y * a[1][2] + v.z * a[2][2] + a[3][2];
    v.x = x;
    v.y = y;
    v.z = z;
    normals.apply(v);
}

}  // namespace base
