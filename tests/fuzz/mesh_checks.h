#pragma once
// What every reader must give for any bytes: a mesh whose numbers all lead somewhere, or a
// reason for its absence.
#include <cmath>
#include <cstdint>

#include "base/mesh_data.h"
#include "base/result.h"

inline void checkReaderResult(const base::Result<base::MeshData>& result) {
    if (!result) {
        if (result.error().empty()) __builtin_trap();
        return;
    }
    const base::MeshData& mesh = *result;
    if (mesh.indices.size() != mesh.attributes.size() * 3) __builtin_trap();
    for (const std::uint32_t index : mesh.indices)
        if (index >= mesh.vertices.size()) __builtin_trap();
    for (const std::uint32_t attribute : mesh.attributes)
        if (attribute >= mesh.materials.size()) __builtin_trap();
}
