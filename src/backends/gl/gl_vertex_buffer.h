#pragma once
// A vertex buffer of the OpenGL device on the current context.
// Implements: lock and unlock of the whole buffer, written through a system-memory copy that is
// uploaded whole at unlock, as a plain Direct3D 9 lock behaves. Not implemented: locks of a
// range and lock flags.
#include <cstdint>
#include <vector>

#include "device/graphics_device.h"

namespace backends::gl {

class GlVertexBuffer final : public device::VertexBuffer {
public:
    explicit GlVertexBuffer(std::uint32_t length);
    ~GlVertexBuffer() override;
    GlVertexBuffer(const GlVertexBuffer&) = delete;
    GlVertexBuffer& operator=(const GlVertexBuffer&) = delete;
    void* lock() override { return shadow_.data(); }
    void unlock() override;
    unsigned id() const { return id_; }

private:
    unsigned id_ = 0;
    std::vector<std::uint8_t> shadow_;
};

}  // namespace backends::gl
