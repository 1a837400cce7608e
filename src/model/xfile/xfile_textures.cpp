#include "model/xfile/xfile_textures.h"

#include "model/model_paths.h"

namespace model::xfile {

void resolveXFileTextures(base::MeshData& mesh, const std::string& path) {
    const std::string folder = folderOf(path);
    if (folder.empty()) return;
    for (base::MeshMaterial& m : mesh.materials) {
        if (m.textureFilename.empty() || isRegularFile(m.textureFilename)) continue;
        const std::string beside = besideFolder(folder, m.textureFilename);
        if (isRegularFile(beside)) m.textureFilename = beside;
    }
}

}  // namespace model::xfile
