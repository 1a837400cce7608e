#pragma once
// Reads DirectX X files (text, binary and MSZIP-compressed forms, 32- or 64-bit floats) into
// one mesh, as the published loader gathers every Mesh of a file.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "render/mesh_data.h"

namespace render {

struct XFileResult {
    std::optional<MeshData> mesh;
    std::string error;  // what went wrong and where (line, or byte offset); empty on success
};

XFileResult parseXFile(std::span<const std::uint8_t> data);
XFileResult readXFile(const std::string& path);

}  // namespace render
