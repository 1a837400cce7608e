#pragma once
// What the X file parser finds, before the meshes are merged: each Mesh as its file states
// it, and the frames whose transforms place them.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/matrix.h"
#include "base/mesh_data.h"

namespace model::xfile {

struct XFileFrame {
    int parent = -1;  // index into XFileScene::frames, or -1 at the top
    base::Matrix local = base::Matrix::identity();
};

struct XFileMesh {
    int frame = -1;     // the frame that holds the mesh, or -1 at the top
    std::string place;  // where the Mesh starts, as errors name it ("line 12")
    std::vector<std::array<float, 3>> positions;
    std::vector<std::uint32_t> faceSizes;    // corners of each face
    std::vector<std::uint32_t> faceIndices;  // the corners of all faces, one after another
    bool hasNormals = false;
    std::vector<std::array<float, 3>> normals;
    // One per face corner, same order as faceIndices; empty when they equal faceIndices (one
    // normal per vertex, as most exporters write), which saves a copy of the corner list.
    std::vector<std::uint32_t> normalIndices;
    std::vector<std::array<float, 2>> textureCoords;  // one per vertex
    std::vector<base::MeshMaterial> materials;        // empty: no MeshMaterialList
    std::vector<std::uint32_t> faceMaterials;         // may be shorter than the faces
};

struct XFileScene {
    std::vector<XFileFrame> frames;  // a parent always comes before its children
    std::vector<XFileMesh> meshes;   // in file order
};

}  // namespace model::xfile
