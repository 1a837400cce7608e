#pragma once
// A mesh without D3DX: the core's vertices in one vertex buffer and its triangles in one index
// buffer, grouped by attribute id so that a subset is one indexed draw, as D3DX's meshes do.
// Implements: position, normal and one pair of texture coordinates per vertex, 16-bit indices, or
// 32-bit ones where the vertices need them and the device has them. Not implemented: the rest of
// D3DX's meshes (adjacency, optimisation, other vertex layouts).
#include <cstdint>
#include <map>
#include <memory>

#include "backends/d3d9/d3d9_api.h"
#include "base/mesh_data.h"
#include "device/graphics_device.h"

namespace backends::d3d9 {

class D3d9Mesh final : public device::Mesh {
public:
    // Null when the data is inconsistent or the device cannot hold it.
    static std::unique_ptr<D3d9Mesh> create(IDirect3DDevice9& device, const base::MeshData& data);

    // Draws the triangles of `attributeId`; an id without triangles draws nothing. Like D3DX's
    // DrawSubset, it leaves its buffers and vertex format set on the device.
    void drawSubset(IDirect3DDevice9& device, std::uint32_t attributeId) const;

private:
    struct Subset {
        UINT firstIndex = 0;
        UINT triangleCount = 0;
        UINT minVertex = 0;
        UINT maxVertex = 0;
    };

    ComPtr<IDirect3DVertexBuffer9> vertices_;
    ComPtr<IDirect3DIndexBuffer9> indices_;
    std::map<std::uint32_t, Subset> subsets_;
};

}  // namespace backends::d3d9
