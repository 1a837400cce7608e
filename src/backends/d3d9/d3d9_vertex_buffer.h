#pragma once
// A vertex buffer of the Direct3D 9 device, in the managed pool, so that the buffer and its
// contents survive a reset of the device.
// Implements: lock and unlock of the whole buffer, passed through. Not implemented: locks of a
// range and lock flags.
#include <utility>

#include "backends/d3d9/d3d9_api.h"
#include "device/graphics_device.h"

namespace backends::d3d9 {

class D3d9VertexBuffer final : public device::VertexBuffer {
public:
    explicit D3d9VertexBuffer(ComPtr<IDirect3DVertexBuffer9> buffer) : buffer_(std::move(buffer)) {}
    void* lock() override {
        void* memory = nullptr;
        return SUCCEEDED(buffer_->Lock(0, 0, &memory, 0)) ? memory : nullptr;
    }
    void unlock() override { buffer_->Unlock(); }
    IDirect3DVertexBuffer9* get() const { return buffer_.Get(); }

private:
    ComPtr<IDirect3DVertexBuffer9> buffer_;
};

}  // namespace backends::d3d9
