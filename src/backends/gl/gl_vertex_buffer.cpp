#include "backends/gl/gl_vertex_buffer.h"

#include "backends/gl/gl_api.h"

namespace backends::gl {

GlVertexBuffer::GlVertexBuffer(std::uint32_t length) : shadow_(length) {
    glGenBuffers(1, &id_);
    glBindBuffer(GL_ARRAY_BUFFER, id_);
    glBufferData(GL_ARRAY_BUFFER, length, nullptr, GL_STATIC_DRAW);
}

GlVertexBuffer::~GlVertexBuffer() {
    glDeleteBuffers(1, &id_);
}

void GlVertexBuffer::unlock() {
    glBindBuffer(GL_ARRAY_BUFFER, id_);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(shadow_.size()), shadow_.data());
}

}  // namespace backends::gl
