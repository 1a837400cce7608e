#pragma once
// glTF 2.0 models, in their JSON form (.gltf, buffers and pictures beside it or embedded) and
// their binary form (.glb), into one mesh for a left-handed, row-vector world.
#include <cstdint>
#include <span>
#include <string>

#include "base/mesh_data.h"
#include "base/result.h"

namespace model::gltf {

// Relative buffer and picture names lead from the folder of `path` (UTF-8), which also names
// the pictures the file embeds.
base::Result<base::MeshData> parseGltf(std::span<const std::uint8_t> bytes, bool binary,
                                       const std::string& path);

}  // namespace model::gltf
