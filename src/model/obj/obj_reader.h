#pragma once
// Wavefront OBJ models with their MTL material libraries, into one mesh for a left-handed,
// row-vector world.
#include <cstdint>
#include <span>
#include <string>

#include "base/mesh_data.h"
#include "base/result.h"

namespace model::obj {

// Material libraries and texture names lead from the folder of `path` (UTF-8).
base::Result<base::MeshData> parseObj(std::span<const std::uint8_t> bytes, const std::string& path);

}  // namespace model::obj
