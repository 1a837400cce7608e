#pragma once
// Merges every mesh of an X file into one, as the published loader does: frame transforms
// applied, polygons cut into triangle fans, material lists appended mesh after mesh.
#include "render/mesh_data.h"
#include "render/xfile_scene.h"

namespace render {

// The material that a mesh without a MeshMaterialList gets: white, with no texture.
MeshMaterial defaultXFileMaterial();

MeshData buildMeshData(const XFileScene& scene);

}  // namespace render
