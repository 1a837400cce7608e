#pragma once
// Reads DirectX X files (text, binary and MSZIP-compressed forms, 32- or 64-bit floats) into
// one mesh, as the published loader gathers every Mesh of a file.
#include <cstdint>
#include <span>
#include <string>

#include "base/mesh_data.h"
#include "base/result.h"

namespace model::xfile {

// The mesh, or what went wrong and where (line, or byte offset).
using XFileResult = base::Result<base::MeshData>;

XFileResult parseXFile(std::span<const std::uint8_t> data);
XFileResult readXFile(const std::string& path);

}  // namespace model::xfile
