// OBJ text: a mesh or a reason, never a crash, a hang or a read out of bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "mesh_checks.h"
#include "model/obj/obj_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkReaderResult(model::obj::parseObj(std::span<const std::uint8_t>(data, size), "fuzz.obj"));
    return 0;
}
