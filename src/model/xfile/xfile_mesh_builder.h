#pragma once
// Merges every mesh of an X file into one, as the published loader does: frame transforms
// applied, polygons cut into triangle fans, material lists appended mesh after mesh.
#include "base/mesh_data.h"
#include "model/xfile/xfile_scene.h"

namespace model::xfile {

// Throws XFileSyntaxError, naming the Mesh, when its frames move a vertex beyond a finite position.
base::MeshData buildMeshData(const XFileScene& scene);

}  // namespace model::xfile
