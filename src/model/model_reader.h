#pragma once
// Models in any of the formats nukitori reads: DirectX X files, glTF 2.0 (.gltf and .glb) and
// Wavefront OBJ. The format is told by the content first, then by the name's extension, so a
// file called model.x may hold any of them (readers.h).
#include <cstdint>
#include <span>
#include <string>

#include "base/mesh_data.h"
#include "base/result.h"

namespace model {

// The mesh of the model file at `path` (UTF-8), or what is wrong with it. Texture names come
// back as the paths to open: glTF and OBJ ones beside the model file; X file ones in the working
// directory, or beside the model file when only there.
base::Result<base::MeshData> readModel(const std::string& path);

// The same from bytes already in memory (files beside the model are still read from `path`'s
// folder).
base::Result<base::MeshData> parseModel(std::span<const std::uint8_t> bytes, const std::string& path);

}  // namespace model
