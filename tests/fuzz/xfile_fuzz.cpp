// Any bytes must give either a mesh or a reason for its absence, without crashing, hanging or reading out of
// bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "mesh_checks.h"
#include "model/xfile/xfile_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkReaderResult(model::xfile::parseXFile(std::span<const std::uint8_t>(data, size)));
    return 0;
}
