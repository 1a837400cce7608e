#include "model/xfile/xfile_mesh_builder.h"

#include <algorithm>

#include "base/mesh_transform.h"
#include "model/mesh_builder.h"
#include "model/xfile/xfile_tokenizer.h"

namespace model::xfile {

namespace {

std::vector<base::Matrix> worldMatrices(const std::vector<XFileFrame>& frames) {
    std::vector<base::Matrix> world;
    world.reserve(frames.size());
    for (const XFileFrame& frame : frames) {
        // Row vectors: the child's own matrix applies first, then its parent's.
        world.push_back(frame.parent < 0 ? frame.local
                                         : base::matrixMultiply(
                                               frame.local, world[static_cast<std::size_t>(frame.parent)]));
    }
    return world;
}

void appendMesh(const XFileMesh& mesh, const base::Matrix* world, base::MeshData& out) {
    const auto materialBase = static_cast<std::uint32_t>(out.materials.size());
    if (mesh.materials.empty()) {
        out.materials.push_back(whiteMaterial());
    } else {
        out.materials.insert(out.materials.end(), mesh.materials.begin(), mesh.materials.end());
    }
    const std::size_t firstVertex = out.vertices.size();
    const bool normalPerCorner = mesh.hasNormals && !mesh.normalIndices.empty();

    // Every list is sized before it is filled, so no list ever holds twice its room.
    std::size_t triangles = 0;
    for (const std::uint32_t size : mesh.faceSizes)
        if (size >= 3) triangles += size - 2;
    out.indices.reserve(out.indices.size() + triangles * 3);
    out.attributes.reserve(out.attributes.size() + triangles);
    out.vertices.reserve(out.vertices.size() + mesh.positions.size());

    // One output vertex per distinct (position, normal) pair that a face corner uses.
    VertexWelder<std::uint32_t> welder(mesh.positions.size());
    auto cornerVertex = [&](std::size_t corner) {
        const std::uint32_t position = mesh.faceIndices[corner];
        const std::uint32_t normal = !mesh.hasNormals  ? 0
                                     : normalPerCorner ? mesh.normalIndices[corner]
                                                       : position;
        const auto next = static_cast<std::uint32_t>(out.vertices.size());
        if (const std::uint32_t known = welder.find(position, normal, next); known != welder.kNone)
            return known;
        base::MeshVertex v;
        v.x = mesh.positions[position][0];
        v.y = mesh.positions[position][1];
        v.z = mesh.positions[position][2];
        if (mesh.hasNormals) {
            v.nx = mesh.normals[normal][0];
            v.ny = mesh.normals[normal][1];
            v.nz = mesh.normals[normal][2];
        }
        if (position < mesh.textureCoords.size()) {
            v.u = mesh.textureCoords[position][0];
            v.v = mesh.textureCoords[position][1];
        }
        out.vertices.push_back(v);
        return next;
    };

    std::size_t corner = 0;
    for (std::size_t f = 0; f < mesh.faceSizes.size(); ++f) {
        const std::uint32_t size = mesh.faceSizes[f];
        // A list shorter than the faces repeats its last entry for the rest.
        std::uint32_t material = 0;
        if (!mesh.faceMaterials.empty())
            material = mesh.faceMaterials[std::min(f, mesh.faceMaterials.size() - 1)];
        if (size >= 3) {
            const std::uint32_t first = cornerVertex(corner);
            for (std::uint32_t i = 1; i + 1 < size; ++i) {
                out.indices.push_back(first);
                out.indices.push_back(cornerVertex(corner + i));
                out.indices.push_back(cornerVertex(corner + i + 1));
                out.attributes.push_back(materialBase + material);
            }
        }
        corner += size;
    }

    if (world != nullptr) {
        const base::NormalTransform normals(*world);
        for (std::size_t i = firstVertex; i < out.vertices.size(); ++i)
            base::transformVertex(out.vertices[i], *world, normals);
        // Finite numbers in the file, but frames whose matrices together overflow a float.
        if (!positionsFinite(std::span(out.vertices).subspan(firstVertex)))
            throw XFileSyntaxError(
                mesh.place + ": the frames that hold this Mesh move a vertex beyond any finite position");
    }
    out.hasNormals = out.hasNormals || mesh.hasNormals;
    out.hasTextureCoords = out.hasTextureCoords || !mesh.textureCoords.empty();
}

}  // namespace

base::MeshData buildMeshData(const XFileScene& scene) {
    const std::vector<base::Matrix> world = worldMatrices(scene.frames);
    base::MeshData out;
    for (const XFileMesh& mesh : scene.meshes) {
        appendMesh(mesh, mesh.frame < 0 ? nullptr : &world[static_cast<std::size_t>(mesh.frame)], out);
    }
    return out;
}

}  // namespace model::xfile
