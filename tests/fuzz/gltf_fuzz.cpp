// glTF in both forms (the binary one when the bytes start with its magic): a mesh or a reason,
// never a crash, a hang or a read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "mesh_checks.h"
#include "model/gltf/gltf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool binary = size >= 4 && std::memcmp(data, "glTF", 4) == 0;
    checkReaderResult(model::gltf::parseGltf(std::span<const std::uint8_t>(data, size), binary, "fuzz.gltf"));
    return 0;
}
