#include "model/mesh_builder.h"

#include <algorithm>
#include <cmath>

namespace model {

namespace {

constexpr std::size_t kMaxTriangles = std::size_t{1} << 25;

}  // namespace

base::MeshMaterial whiteMaterial() {
    base::MeshMaterial white;
    white.material.diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    return white;
}

base::Status checkTriangleCount(std::size_t triangles) {
    if (triangles > kMaxTriangles) return base::Failure{"the model has too many triangles"};
    return base::Done{};
}

bool positionsFinite(std::span<const base::MeshVertex> vertices) {
    return std::all_of(vertices.begin(), vertices.end(), [](const base::MeshVertex& v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    });
}

}  // namespace model
