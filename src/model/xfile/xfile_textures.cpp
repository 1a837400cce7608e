#include "model/xfile/xfile_textures.h"

#include "model/model_paths.h"

namespace model::xfile {

void resolveXFileTextures(base::MeshData& mesh, const std::string& path) {
    const std::string folder = folderOf(path);
    for (base::MeshMaterial& m : mesh.materials) {
        if (m.textureFilename.empty()) continue;
        std::string found = foundBeside("", m.textureFilename);
        if (found.empty() && !folder.empty()) found = foundBeside(folder, m.textureFilename);
        if (!found.empty()) m.textureFilename = found;
    }
}

}  // namespace model::xfile
