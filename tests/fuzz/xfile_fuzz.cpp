// Any bytes must give either a mesh or a reason for its absence, without crashing, hanging or reading out of
// bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "xfile/xfile_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const xfile::XFileResult result = xfile::parseXFile(std::span<const std::uint8_t>(data, size));
    if (!result && result.error().empty()) __builtin_trap();
    if (result) {
        const base::MeshData& mesh = *result;
        if (mesh.indices.size() != mesh.attributes.size() * 3) __builtin_trap();
        for (std::uint32_t index : mesh.indices) {
            if (index >= mesh.vertices.size()) __builtin_trap();
        }
        for (std::uint32_t attribute : mesh.attributes) {
            if (attribute >= mesh.materials.size()) __builtin_trap();
        }
    }
    return 0;
}
