#pragma once
// Where the textures an X file names are found.
#include <string>

#include "base/mesh_data.h"

namespace model::xfile {

// X files name their textures relative to the working directory, where the program keeps its
// model.x; a name found only beside the model at `path` (UTF-8) becomes the path there. A name
// with '\' not found as written is looked for with '\' read as a folder separator.
void resolveXFileTextures(base::MeshData& mesh, const std::string& path);

}  // namespace model::xfile
