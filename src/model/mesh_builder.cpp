#include "model/mesh_builder.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace model {

namespace {

constexpr std::size_t kMaxTriangles = std::size_t{1} << 25;
// 512 MiB of vertices: about as many as a closed surface of the most triangles has (half as
// many), and as a small file of a few hundred vertices placed many times (glTF) may make.
constexpr std::size_t kMaxVertices = std::size_t{1} << 24;

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

base::Status checkVertexCount(std::size_t vertices) {
    if (vertices > kMaxVertices)
        return base::Failure{"the model has too many vertices (" + std::to_string(vertices) + ", more than " +
                             std::to_string(kMaxVertices) + ")"};
    return base::Done{};
}

bool positionsFinite(std::span<const base::MeshVertex> vertices) {
    return std::all_of(vertices.begin(), vertices.end(), [](const base::MeshVertex& v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    });
}

}  // namespace model
