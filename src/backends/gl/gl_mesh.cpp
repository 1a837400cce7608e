#include "backends/gl/gl_mesh.h"

#include <algorithm>

#include "backends/gl/gl_api.h"

namespace backends::gl {

GlMesh::GlMesh(const base::MeshData& data) {
    // Triangles are grouped by attribute id so that one subset is one draw call.
    std::uint32_t maxAttribute = 0;
    for (auto a : data.attributes) maxAttribute = std::max(maxAttribute, a);
    ranges_.resize(data.attributes.empty() ? 0 : maxAttribute + 1u);
    std::vector<std::uint32_t> sorted;
    sorted.reserve(data.indices.size());
    for (std::uint32_t attribute = 0; attribute < ranges_.size(); ++attribute) {
        ranges_[attribute].first = static_cast<std::uint32_t>(sorted.size());
        for (std::size_t t = 0; t < data.attributes.size(); ++t)
            if (data.attributes[t] == attribute)
                sorted.insert(sorted.end(), data.indices.begin() + static_cast<long>(t * 3),
                              data.indices.begin() + static_cast<long>(t * 3 + 3));
        ranges_[attribute].count = static_cast<std::uint32_t>(sorted.size()) - ranges_[attribute].first;
    }
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &vbo_);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.vertices.size() * sizeof(base::MeshVertex)),
                 data.vertices.data(), GL_STATIC_DRAW);
    glGenBuffers(1, &ibo_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo_);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(sorted.size() * 4), sorted.data(),
                 GL_STATIC_DRAW);
    const auto stride = static_cast<GLsizei>(sizeof(base::MeshVertex));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(0));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(12));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(24));
    glBindVertexArray(0);
}

GlMesh::~GlMesh() {
    glDeleteBuffers(1, &vbo_);
    glDeleteBuffers(1, &ibo_);
    glDeleteVertexArrays(1, &vao_);
}

}  // namespace backends::gl
