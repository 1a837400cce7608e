#pragma once
// A mesh of the OpenGL device on the current context: the core's vertices in one buffer and its
// triangles in one index buffer, grouped by attribute id so that a subset is one draw.
// Implements: position, normal and one pair of texture coordinates per vertex, and subsets by
// attribute id. Not implemented: other vertex layouts, and the checks of the data that the
// Direct3D 9 mesh makes (indices past the vertices, a count of indices that is not the
// triangles').
#include <cstdint>
#include <vector>

#include "base/mesh_data.h"
#include "device/graphics_device.h"

namespace backends::gl {

class GlMesh final : public device::Mesh {
public:
    // The indices of one subset in the index buffer.
    struct Range {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };

    explicit GlMesh(const base::MeshData& data);
    ~GlMesh() override;
    GlMesh(const GlMesh&) = delete;
    GlMesh& operator=(const GlMesh&) = delete;

    unsigned vao() const { return vao_; }
    // Null for an id above every triangle's.
    const Range* range(std::uint32_t attribute) const {
        return attribute < ranges_.size() ? &ranges_[attribute] : nullptr;
    }

private:
    unsigned vao_ = 0, vbo_ = 0, ibo_ = 0;
    std::vector<Range> ranges_;
};

}  // namespace backends::gl
