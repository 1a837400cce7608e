#include "backends/d3d9/d3d9_mesh.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace backends::d3d9 {

namespace {

constexpr DWORD kMeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
static_assert(sizeof(base::MeshVertex) == 32, "mesh vertices are position, normal and one uv pair");

template <class Index>
bool fillIndices(IDirect3DIndexBuffer9& buffer, const std::vector<std::uint32_t>& indices) {
    void* memory = nullptr;
    if (FAILED(buffer.Lock(0, 0, &memory, 0))) return false;
    auto* out = static_cast<Index*>(memory);
    for (std::size_t i = 0; i < indices.size(); ++i) out[i] = static_cast<Index>(indices[i]);
    buffer.Unlock();
    return true;
}

}  // namespace

std::unique_ptr<D3d9Mesh> D3d9Mesh::create(IDirect3DDevice9& device, const base::MeshData& data) {
    const std::size_t vertexCount = data.vertices.size();
    if (vertexCount > 0xFFFFFFFFu / sizeof(base::MeshVertex)) return nullptr;
    if (data.indices.size() != data.attributes.size() * 3) return nullptr;
    for (std::uint32_t index : data.indices)
        if (index >= vertexCount) return nullptr;
    std::unique_ptr<D3d9Mesh> mesh(new D3d9Mesh());
    if (data.indices.empty()) return mesh;

    // Triangles in attribute order, each attribute's in their file order.
    std::vector<std::uint32_t> order(data.attributes.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return data.attributes[a] < data.attributes[b];
    });
    std::vector<std::uint32_t> sorted;
    sorted.reserve(data.indices.size());
    for (std::uint32_t triangle : order) {
        Subset& subset = mesh->subsets_[data.attributes[triangle]];
        const auto first = data.indices.begin() + static_cast<std::ptrdiff_t>(triangle) * 3;
        if (subset.triangleCount == 0) {
            subset.firstIndex = static_cast<UINT>(sorted.size());
            subset.minVertex = subset.maxVertex = *first;
        }
        ++subset.triangleCount;
        for (auto corner = first; corner != first + 3; ++corner) {
            subset.minVertex = std::min<UINT>(subset.minVertex, *corner);
            subset.maxVertex = std::max<UINT>(subset.maxVertex, *corner);
        }
        sorted.insert(sorted.end(), first, first + 3);
    }
    const UINT vertexBytes = static_cast<UINT>(vertexCount * sizeof(base::MeshVertex));
    if (FAILED(device.CreateVertexBuffer(vertexBytes, D3DUSAGE_WRITEONLY, kMeshFvf, D3DPOOL_MANAGED,
                                         mesh->vertices_.ReleaseAndGetAddressOf(), nullptr)))
        return nullptr;
    void* memory = nullptr;
    if (FAILED(mesh->vertices_->Lock(0, 0, &memory, 0))) return nullptr;
    std::memcpy(memory, data.vertices.data(), vertexBytes);
    mesh->vertices_->Unlock();

    // 16-bit indices where they reach every vertex, else 32-bit ones if the device has them.
    const bool wide = vertexCount > 0x10000;
    if (wide) {
        D3DCAPS9 caps{};
        if (FAILED(device.GetDeviceCaps(&caps)) || caps.MaxVertexIndex < vertexCount - 1) return nullptr;
    }
    const UINT indexBytes = static_cast<UINT>(sorted.size() * (wide ? 4 : 2));
    if (FAILED(device.CreateIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY,
                                        wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                        mesh->indices_.ReleaseAndGetAddressOf(), nullptr)))
        return nullptr;
    const bool filled = wide ? fillIndices<std::uint32_t>(*mesh->indices_.Get(), sorted)
                             : fillIndices<std::uint16_t>(*mesh->indices_.Get(), sorted);
    if (!filled) return nullptr;
    return mesh;
}

void D3d9Mesh::drawSubset(IDirect3DDevice9& device, std::uint32_t attributeId) const {
    const auto it = subsets_.find(attributeId);
    if (it == subsets_.end()) return;
    const Subset& s = it->second;
    device.SetStreamSource(0, vertices_.Get(), 0, sizeof(base::MeshVertex));
    device.SetFVF(kMeshFvf);
    device.SetIndices(indices_.Get());
    // Software vertex processing transforms just the vertices a draw names: the span its indices use.
    device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, s.minVertex, s.maxVertex - s.minVertex + 1,
                                s.firstIndex, s.triangleCount);
}

}  // namespace backends::d3d9
