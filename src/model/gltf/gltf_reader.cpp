#include "model/gltf/gltf_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <fstream>  // the library writes files with it, and includes it only with its own file access
#include <limits>
#include <map>
#include <new>
#include <set>
#include <stdexcept>

#include "base/byte_order.h"
#include "base/file_bytes.h"
#include "base/matrix.h"
#include "base/mesh_transform.h"
#include "base/uri.h"
#include "model/mesh_builder.h"
#include "model/model_paths.h"

// The library reads no picture and touches no file itself: pictures are decoded later by the
// program's own decoder, and files are read through the callbacks below.
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_NO_FS
#include <tiny_gltf.h>

namespace model::gltf {

namespace {

using base::Matrix;
using base::MeshData;
using base::MeshMaterial;
using base::MeshVertex;
using tinygltf::Model;

// Beyond these a file is refused before anything is allocated for it.
constexpr std::size_t kMaxElements = std::size_t{1} << 26;
constexpr std::size_t kMaxElementsWithoutData = std::size_t{1} << 20;
constexpr std::size_t kMaxNodeVisits = std::size_t{1} << 20;
constexpr int kMaxNodeDepth = 256;
constexpr std::uint64_t kMaxBufferFileBytes = std::uint64_t{1} << 31;

struct GltfError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& what) {
    throw GltfError(what);
}

std::string numbered(const char* kind, std::size_t index) {
    return std::string(kind) + " " + std::to_string(index);
}

std::size_t componentBytes(int type) {
    switch (type) {
        case TINYGLTF_COMPONENT_TYPE_BYTE:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
            return 1;
        case TINYGLTF_COMPONENT_TYPE_SHORT:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
            return 2;
        case TINYGLTF_COMPONENT_TYPE_INT:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        case TINYGLTF_COMPONENT_TYPE_FLOAT:
            return 4;
        default:
            return 0;
    }
}

std::size_t componentsOf(int type) {
    switch (type) {
        case TINYGLTF_TYPE_SCALAR:
            return 1;
        case TINYGLTF_TYPE_VEC2:
            return 2;
        case TINYGLTF_TYPE_VEC3:
            return 3;
        default:
            return 0;  // none of the attributes read here has another type
    }
}

bool isUnsignedInteger(int type) {
    return type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE || type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ||
           type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
}

float readFloat(const std::uint8_t* at, int componentType) {
    switch (componentType) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT:
            return std::bit_cast<float>(static_cast<std::uint32_t>(base::readLittleEndian(at, 0, 4)));
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
            return static_cast<float>(at[0]) / 255.0f;
        default:  // normalized unsigned short
            return static_cast<float>(base::readLittleEndian(at, 0, 2)) / 65535.0f;
    }
}

// Where `count` elements of `elementBytes`, `stride` apart from `offset` bytes into buffer view
// `viewIndex`, start; only after checking that all of them lie inside the view and its buffer.
const std::uint8_t* checkedElements(const Model& model, int viewIndex, std::size_t offset, std::size_t count,
                                    std::size_t elementBytes, std::size_t stride, const std::string& what) {
    if (viewIndex < 0 || static_cast<std::size_t>(viewIndex) >= model.bufferViews.size())
        fail(what + " names " + numbered("buffer view", static_cast<std::size_t>(viewIndex)) +
             ", which does not exist");
    const tinygltf::BufferView& view = model.bufferViews[static_cast<std::size_t>(viewIndex)];
    if (view.buffer < 0 || static_cast<std::size_t>(view.buffer) >= model.buffers.size())
        fail(numbered("buffer view", static_cast<std::size_t>(viewIndex)) +
             " names a buffer that does not exist");
    const std::vector<unsigned char>& data = model.buffers[static_cast<std::size_t>(view.buffer)].data;
    if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset)
        fail(numbered("buffer view", static_cast<std::size_t>(viewIndex)) +
             " runs past the end of its buffer");
    if (count > 0) {
        const std::size_t room = offset > view.byteLength ? 0 : view.byteLength - offset;
        if (elementBytes > room || count - 1 > (room - elementBytes) / stride)
            fail(what + " claims " + std::to_string(count) + " elements, more than " +
                 numbered("buffer view", static_cast<std::size_t>(viewIndex)) + " holds");
    }
    return data.data() + view.byteOffset + offset;
}

// The values of an accessor of `wantType`, `components` per element, with its sparse
// substitutions applied. Attributes are floats or normalized unsigned integers; indices are
// unsigned integers.
template <class T>
std::vector<T> readAccessor(const Model& model, int index, int wantType, const std::string& what) {
    constexpr bool kIndices = std::is_same_v<T, std::uint32_t>;
    if (index < 0 || static_cast<std::size_t>(index) >= model.accessors.size())
        fail(what + " names " + numbered("accessor", static_cast<std::size_t>(index)) +
             ", which does not exist");
    const tinygltf::Accessor& a = model.accessors[static_cast<std::size_t>(index)];
    const std::string name = what + " (" + numbered("accessor", static_cast<std::size_t>(index)) + ")";
    if (a.type != wantType) fail(name + " has the wrong element type");
    const std::size_t components = componentsOf(a.type);
    const std::size_t bytes = componentBytes(a.componentType);
    if (kIndices ? !isUnsignedInteger(a.componentType)
                 : a.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT &&
                       !(a.normalized && (a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE ||
                                          a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT)))
        fail(name + " has a component type that is not read here");
    if (a.count > kMaxElements) fail(name + " claims " + std::to_string(a.count) + " elements, too many");
    const std::size_t elementBytes = bytes * components;

    auto value = [&](const std::uint8_t* at) -> T {
        if constexpr (kIndices) {
            return static_cast<std::uint32_t>(base::readLittleEndian(at, 0, bytes));
        } else {
            return readFloat(at, a.componentType);
        }
    };

    std::vector<T> out;
    if (a.bufferView < 0) {
        // Only a sparse accessor may leave out its data: the rest is zero. With no data to
        // bound it, its count is held to what a file of this kind plausibly means.
        if (!a.sparse.isSparse) fail(name + " has no data");
        if (a.count > kMaxElementsWithoutData)
            fail(name + " claims " + std::to_string(a.count) + " elements without data");
        out.assign(a.count * components, T{});
    } else {
        const tinygltf::BufferView& view = model.bufferViews.at(static_cast<std::size_t>(a.bufferView));
        const std::size_t stride = view.byteStride != 0 ? view.byteStride : elementBytes;
        if (stride < elementBytes) fail(name + ": its elements overlap (byteStride too small)");
        const std::uint8_t* start =
            checkedElements(model, a.bufferView, a.byteOffset, a.count, elementBytes, stride, name);
        out.resize(a.count * components);
        // 32-bit floats and indices are stored as this machine holds them: copied as they stand.
        const bool asStored = std::endian::native == std::endian::little &&
                              a.componentType == (kIndices ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT
                                                           : TINYGLTF_COMPONENT_TYPE_FLOAT);
        if (asStored && stride == elementBytes) {
            if (!out.empty()) std::memcpy(out.data(), start, out.size() * sizeof(T));
        } else if (asStored) {
            for (std::size_t i = 0; i < a.count; ++i)
                std::memcpy(out.data() + i * components, start + i * stride, elementBytes);
        } else {
            for (std::size_t i = 0; i < a.count; ++i)
                for (std::size_t k = 0; k < components; ++k)
                    out[i * components + k] = value(start + i * stride + k * bytes);
        }
    }
    if (a.sparse.isSparse) {
        const auto& sparse = a.sparse;
        if (sparse.count < 0 || static_cast<std::size_t>(sparse.count) > a.count)
            fail(name + ": its sparse count does not fit its count");
        if (!isUnsignedInteger(sparse.indices.componentType))
            fail(name + ": its sparse indices are not integers");
        if (sparse.indices.byteOffset < 0 || sparse.values.byteOffset < 0)
            fail(name + ": its sparse data has a negative offset");
        const auto count = static_cast<std::size_t>(sparse.count);
        const std::size_t indexBytes = componentBytes(sparse.indices.componentType);
        const std::uint8_t* indices = checkedElements(
            model, sparse.indices.bufferView, static_cast<std::size_t>(sparse.indices.byteOffset), count,
            indexBytes, indexBytes, name + "'s sparse indices");
        const std::uint8_t* values = checkedElements(
            model, sparse.values.bufferView, static_cast<std::size_t>(sparse.values.byteOffset), count,
            elementBytes, elementBytes, name + "'s sparse values");
        for (std::size_t j = 0; j < count; ++j) {
            const auto target =
                static_cast<std::uint32_t>(base::readLittleEndian(indices, j * indexBytes, indexBytes));
            if (target >= a.count) fail(name + ": a sparse index is out of range");
            for (std::size_t k = 0; k < components; ++k)
                out[target * components + k] = value(values + j * elementBytes + k * bytes);
        }
    }
    return out;
}

// Room for `extra` more elements, growing geometrically: a model of many primitives must not
// copy the whole mesh once for each.
template <class T>
void reserveMore(std::vector<T>& v, std::size_t extra) {
    if (v.capacity() - v.size() < extra) v.reserve(std::max(v.size() + extra, v.capacity() * 2));
}

// The node's own transform as a row-vector matrix: scale, then rotation, then translation.
Matrix nodeMatrix(const tinygltf::Node& node) {
    Matrix m = Matrix::identity();
    if (node.matrix.size() == 16) {
        // Column-major storage of a column-vector matrix is row-major storage of its transpose,
        // which is the row-vector form.
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                m.m[r][c] = static_cast<float>(node.matrix[static_cast<std::size_t>(r * 4 + c)]);
        return m;
    }
    double s[3] = {1, 1, 1};
    if (node.scale.size() == 3) std::copy(node.scale.begin(), node.scale.end(), s);
    double q[4] = {0, 0, 0, 1};
    if (node.rotation.size() == 4) std::copy(node.rotation.begin(), node.rotation.end(), q);
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    // The rotation's row-vector form: the transpose of the usual column-vector matrix.
    const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)},
                            {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)},
                            {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = static_cast<float>(s[i] * r[i][j]);
    if (node.translation.size() == 3)
        for (int j = 0; j < 3; ++j)
            m.m[3][j] = static_cast<float>(node.translation[static_cast<std::size_t>(j)]);
    return m;
}

// Places the meshes of the node graph into `out`. A planning builder only counts what the graph
// would place, from the accessors' counts: a small file whose graph places one mesh many times
// is refused before any of it is built.
class MeshBuilder {
public:
    MeshBuilder(const Model& model, MeshData& out, std::size_t defaultMaterial, bool planning)
        : model_(model), out_(out), defaultMaterial_(defaultMaterial), planning_(planning) {}

    void addNode(int index, const Matrix& parent, int depth) {
        if (index < 0 || static_cast<std::size_t>(index) >= model_.nodes.size())
            fail(numbered("node", static_cast<std::size_t>(index)) + " does not exist");
        const auto node = static_cast<std::size_t>(index);
        if (onPath_.empty()) onPath_.assign(model_.nodes.size(), false);
        if (onPath_[node]) fail(numbered("node", node) + " is its own ancestor");
        if (depth > kMaxNodeDepth)
            fail("nodes are nested more than " + std::to_string(kMaxNodeDepth) + " deep");
        if (++visits_ > kMaxNodeVisits) fail("the node graph places too many nodes");
        const Matrix world = base::matrixMultiply(nodeMatrix(model_.nodes[node]), parent);
        if (model_.nodes[node].mesh >= 0) addMesh(model_.nodes[node].mesh, world);
        onPath_[node] = true;
        for (const int child : model_.nodes[node].children) addNode(child, world, depth + 1);
        onPath_[node] = false;
    }

    void addMesh(int index, const Matrix& world) {
        if (static_cast<std::size_t>(index) >= model_.meshes.size())
            fail(numbered("mesh", static_cast<std::size_t>(index)) + " does not exist");
        // glTF is right-handed; the viewer's world is left-handed: z turns round.
        Matrix placed = world;
        for (auto& row : placed.m) row[2] = -row[2];
        placed_.clear();
        plannedSources_.clear();
        std::size_t p = 0;
        for (const tinygltf::Primitive& primitive :
             model_.meshes[static_cast<std::size_t>(index)].primitives) {
            if (planning_) {
                planPrimitive(primitive);
            } else {
                addPrimitive(primitive, placed,
                             "mesh " + std::to_string(index) + " primitive " + std::to_string(p++));
            }
        }
    }

private:
    int attributeOf(const tinygltf::Primitive& primitive, const char* name) const {
        const auto it = primitive.attributes.find(name);
        return it == primitive.attributes.end() ? -1 : it->second;
    }

    // What addPrimitive will add; what it refuses counts for nothing, as it will fail there.
    void planPrimitive(const tinygltf::Primitive& primitive) {
        const int mode = primitive.mode < 0 ? TINYGLTF_MODE_TRIANGLES : primitive.mode;
        if (mode != TINYGLTF_MODE_TRIANGLES && mode != TINYGLTF_MODE_TRIANGLE_STRIP &&
            mode != TINYGLTF_MODE_TRIANGLE_FAN)
            return;
        // No more than the accessor's data can hold, so that a false count, refused when the
        // mesh is built, sizes nothing here.
        const auto count = [&](int accessor) -> std::uint64_t {
            if (accessor < 0 || static_cast<std::size_t>(accessor) >= model_.accessors.size()) return 0;
            const tinygltf::Accessor& a = model_.accessors[static_cast<std::size_t>(accessor)];
            std::uint64_t most = kMaxElementsWithoutData;
            if (a.bufferView >= 0 && static_cast<std::size_t>(a.bufferView) < model_.bufferViews.size()) {
                const tinygltf::BufferView& view = model_.bufferViews[static_cast<std::size_t>(a.bufferView)];
                const std::size_t each = std::max<std::size_t>(
                    1, view.byteStride != 0 ? view.byteStride
                                            : componentBytes(a.componentType) * componentsOf(a.type));
                most = view.byteLength / each + 1;
            }
            return std::min<std::uint64_t>({a.count, most, kMaxElements + 1});
        };
        const std::uint64_t vertices = count(attributeOf(primitive, "POSITION"));
        const std::uint64_t corners = primitive.indices >= 0 ? count(primitive.indices) : vertices;
        const std::uint64_t triangles = mode == TINYGLTF_MODE_TRIANGLES ? corners / 3
                                        : corners >= 3                  ? corners - 2
                                                                        : 0;
        plannedTriangles_ += triangles;
        if (attributeOf(primitive, "NORMAL") < 0) {
            plannedVertices_ += triangles * 3;
        } else if (plannedSources_
                       .insert({attributeOf(primitive, "POSITION"), attributeOf(primitive, "NORMAL"),
                                attributeOf(primitive, "TEXCOORD_0")})
                       .second) {
            plannedVertices_ += vertices;
        }
        // At once, so that the sums stay far from overflowing however many places follow.
        if (const base::Status room = checkTriangleCount(plannedTriangles_); !room) fail(room.error());
        if (const base::Status room = checkVertexCount(plannedVertices_); !room) fail(room.error());
    }

    void addPrimitive(const tinygltf::Primitive& primitive, const Matrix& world, const std::string& what) {
        const int mode = primitive.mode < 0 ? TINYGLTF_MODE_TRIANGLES : primitive.mode;
        if (mode == TINYGLTF_MODE_POINTS || mode == TINYGLTF_MODE_LINE || mode == TINYGLTF_MODE_LINE_LOOP ||
            mode == TINYGLTF_MODE_LINE_STRIP)
            return;  // nothing with an area to draw
        if (mode != TINYGLTF_MODE_TRIANGLES && mode != TINYGLTF_MODE_TRIANGLE_STRIP &&
            mode != TINYGLTF_MODE_TRIANGLE_FAN)
            fail(what + " has an unknown mode");
        std::size_t material = defaultMaterial_;
        if (primitive.material >= 0) {
            if (static_cast<std::size_t>(primitive.material) >= model_.materials.size())
                fail(what + " names a material that does not exist");
            material = static_cast<std::size_t>(primitive.material);
        }

        const auto attribute = [&](const char* name) { return attributeOf(primitive, name); };
        const int positionAccessor = attribute("POSITION");
        if (positionAccessor < 0) fail(what + " has no positions");
        // Primitives of one mesh often share their vertices: placed once, they serve them all,
        // and the accessors, which passed their checks then, are not read again.
        const std::array<int, 3> source = {positionAccessor, attribute("NORMAL"), attribute("TEXCOORD_0")};
        const auto known = placed_.find(source);
        std::vector<float> positions, normals, coords;
        std::size_t vertexCount = 0;
        if (known != placed_.end()) {
            vertexCount = known->second.count;
        } else {
            positions =
                readAccessor<float>(model_, positionAccessor, TINYGLTF_TYPE_VEC3, what + " positions");
            vertexCount = positions.size() / 3;
            if (const int n = attribute("NORMAL"); n >= 0) {
                normals = readAccessor<float>(model_, n, TINYGLTF_TYPE_VEC3, what + " normals");
                if (normals.size() != positions.size()) fail(what + " has not one normal per position");
            }
            if (const int t = attribute("TEXCOORD_0"); t >= 0) {
                coords = readAccessor<float>(model_, t, TINYGLTF_TYPE_VEC2, what + " texture coordinates");
                if (coords.size() / 2 != vertexCount)
                    fail(what + " has not one texture coordinate per position");
            }
        }

        std::vector<std::uint32_t> corners;
        if (primitive.indices >= 0) {
            corners = readAccessor<std::uint32_t>(model_, primitive.indices, TINYGLTF_TYPE_SCALAR,
                                                  what + " indices");
            for (const std::uint32_t c : corners)
                if (c >= vertexCount) fail(what + " has an index out of range");
        } else {
            corners.resize(vertexCount);
            for (std::size_t i = 0; i < vertexCount; ++i) corners[i] = static_cast<std::uint32_t>(i);
        }

        // Strips and fans into a list: {i, i+1+i%2, i+2-i%2} and {i+1, i+2, 0}.
        std::vector<std::uint32_t> list;
        if (mode == TINYGLTF_MODE_TRIANGLES) {
            list = std::move(corners);
            list.resize(list.size() / 3 * 3);
        } else if (corners.size() >= 3) {
            list.reserve((corners.size() - 2) * 3);
            for (std::size_t i = 0; i + 2 < corners.size(); ++i) {
                if (mode == TINYGLTF_MODE_TRIANGLE_STRIP) {
                    list.insert(list.end(), {corners[i], corners[i + 1 + i % 2], corners[i + 2 - i % 2]});
                } else {
                    list.insert(list.end(), {corners[i + 1], corners[i + 2], corners[0]});
                }
            }
        }
        const std::size_t triangles = list.size() / 3;
        if (const base::Status room = checkTriangleCount(out_.attributes.size() + triangles); !room)
            fail(room.error());

        const base::NormalTransform normalTransform(world);
        if (known != placed_.end()) {
            addTriangles(list, known->second.first, normalTransform.mirrors, material);
            return;
        }
        const auto first = static_cast<std::uint32_t>(out_.vertices.size());
        // Only vertices with given normals serve other primitives: flat ones belong to their triangle.
        if (!normals.empty()) placed_.emplace(source, Placed{first, vertexCount});
        auto vertex = [&](std::uint32_t i) {
            MeshVertex v;
            v.x = positions[i * 3];
            v.y = positions[i * 3 + 1];
            v.z = positions[i * 3 + 2];
            if (!normals.empty()) {
                v.nx = normals[i * 3];
                v.ny = normals[i * 3 + 1];
                v.nz = normals[i * 3 + 2];
            }
            if (!coords.empty()) {
                v.u = coords[i * 2];
                v.v = coords[i * 2 + 1];
            }
            return v;
        };
        const std::size_t added = normals.empty() ? list.size() : vertexCount;
        if (const base::Status room = checkVertexCount(out_.vertices.size() + added); !room)
            fail(room.error());
        if (!normals.empty()) {
            reserveMore(out_.vertices, vertexCount);
            for (std::uint32_t i = 0; i < vertexCount; ++i) out_.vertices.push_back(vertex(i));
        } else {
            // Without normals every triangle is flat: its corners are its own.
            reserveMore(out_.vertices, list.size());
            for (std::size_t t = 0; t < list.size(); t += 3) {
                MeshVertex a = vertex(list[t]), b = vertex(list[t + 1]), c = vertex(list[t + 2]);
                const float e1[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
                const float e2[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
                // Counter-clockwise is the front in glTF.
                const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                    e1[0] * e2[1] - e1[1] * e2[0]};
                for (MeshVertex* v : {&a, &b, &c}) {
                    v->nx = n[0];
                    v->ny = n[1];
                    v->nz = n[2];
                    out_.vertices.push_back(*v);
                }
                for (int k = 0; k < 3; ++k) list[t + k] = static_cast<std::uint32_t>(t + k);
            }
        }
        for (std::size_t i = first; i < out_.vertices.size(); ++i)
            base::transformVertex(out_.vertices[i], world, normalTransform);
        if (!positionsFinite(std::span(out_.vertices).subspan(first)))
            fail(what + " has a position that is not a finite number");
        addTriangles(list, first, normalTransform.mirrors, material);
        out_.hasNormals = true;
        out_.hasTextureCoords = out_.hasTextureCoords || !coords.empty();
    }

    void addTriangles(const std::vector<std::uint32_t>& list, std::uint32_t first, bool mirrors,
                      std::size_t material) {
        // A triangle glTF shows from the front turns counter-clockwise on the screen, one the
        // device shows from the front clockwise; a mirroring transform turns it once more.
        reserveMore(out_.indices, list.size());
        reserveMore(out_.attributes, list.size() / 3);
        for (std::size_t t = 0; t < list.size(); t += 3) {
            out_.indices.push_back(first + list[t]);
            out_.indices.push_back(first + list[mirrors ? t + 2 : t + 1]);
            out_.indices.push_back(first + list[mirrors ? t + 1 : t + 2]);
            out_.attributes.push_back(static_cast<std::uint32_t>(material));
        }
        usedDefault_ = usedDefault_ || material == defaultMaterial_;
    }

public:
    bool usedDefault() const { return usedDefault_; }
    // What a planning builder counted.
    std::size_t plannedVertices() const { return static_cast<std::size_t>(plannedVertices_); }
    std::size_t plannedTriangles() const { return static_cast<std::size_t>(plannedTriangles_); }

private:
    const Model& model_;
    MeshData& out_;
    std::size_t defaultMaterial_;
    bool planning_;
    std::uint64_t plannedVertices_ = 0, plannedTriangles_ = 0;
    std::set<std::array<int, 3>> plannedSources_;  // as placed_, for the plan
    std::vector<bool> onPath_;
    struct Placed {
        std::uint32_t first;  // where they start in the mesh
        std::size_t count;
    };
    std::map<std::array<int, 3>, Placed> placed_;  // this instance's vertices, by their accessors
    std::size_t visits_ = 0;
    bool usedDefault_ = false;
};

MeshMaterial materialOf(const Model& model, const tinygltf::Material& source, const std::string& folder,
                        const std::string& path) {
    MeshMaterial out;
    // Specular stays black with power 0: metal and roughness have no fixed-function meaning.
    out.material.specular = {0.0f, 0.0f, 0.0f, 1.0f};
    out.material.emissive = {0.0f, 0.0f, 0.0f, 1.0f};
    const std::vector<double>& base = source.pbrMetallicRoughness.baseColorFactor;
    if (base.size() == 4)
        out.material.diffuse = {static_cast<float>(base[0]), static_cast<float>(base[1]),
                                static_cast<float>(base[2]), static_cast<float>(base[3])};
    if (source.emissiveFactor.size() == 3)
        out.material.emissive = {static_cast<float>(source.emissiveFactor[0]),
                                 static_cast<float>(source.emissiveFactor[1]),
                                 static_cast<float>(source.emissiveFactor[2]), 1.0f};
    const int texture = source.pbrMetallicRoughness.baseColorTexture.index;
    if (texture < 0 || static_cast<std::size_t>(texture) >= model.textures.size()) return out;
    const int image = model.textures[static_cast<std::size_t>(texture)].source;
    if (image < 0 || static_cast<std::size_t>(image) >= model.images.size()) return out;
    const tinygltf::Image& picture = model.images[static_cast<std::size_t>(image)];
    if (picture.bufferView >= 0) {
        const tinygltf::BufferView* view =
            static_cast<std::size_t>(picture.bufferView) < model.bufferViews.size()
                ? &model.bufferViews[static_cast<std::size_t>(picture.bufferView)]
                : nullptr;
        if (view) {
            const std::uint8_t* bytes = checkedElements(model, picture.bufferView, 0, 1, view->byteLength, 1,
                                                        "picture " + std::to_string(image));
            out.embeddedTexture =
                std::make_shared<const std::vector<std::uint8_t>>(bytes, bytes + view->byteLength);
        }
        out.textureFilename = path + "#picture" + std::to_string(image);
    } else if (!picture.image.empty()) {
        out.embeddedTexture = std::make_shared<const std::vector<std::uint8_t>>(picture.image);
        out.textureFilename = path + "#picture" + std::to_string(image);
    } else if (!picture.uri.empty()) {
        const std::string name = base::percentDecoded(picture.uri);
        // Kept as written when not found, so that the problem line names it.
        const std::string found = foundBeside(folder, name);
        out.textureFilename = found.empty() ? besideFolder(folder, name) : found;
    }
    return out;
}

// Pictures stay encoded: only the bytes of one given as a data URI are kept here (those held in
// a buffer view are taken from it once its bounds are checked).
bool keepEncoded(tinygltf::Image* image, const int, std::string*, std::string*, int, int,
                 const unsigned char* bytes, int size, void*) {
    if (image->bufferView < 0 && bytes && size > 0) image->image.assign(bytes, bytes + size);
    image->as_is = true;
    return true;
}

bool fileExists(const std::string& path, void*) {
    return isRegularFile(path);
}

std::string expandPath(const std::string& path, void*) {
    return path;
}

bool readWholeFile(std::vector<unsigned char>* out, std::string* err, const std::string& path, void*) {
    base::Result<std::vector<std::uint8_t>> bytes = base::readFileBytes(path, kMaxBufferFileBytes);
    if (!bytes) {
        if (err) *err += "\"" + path + "\": " + bytes.error() + "\n";
        return false;
    }
    *out = std::move(*bytes);
    return true;
}

bool refuseWrite(std::string* err, const std::string&, const std::vector<unsigned char>&, void*) {
    if (err) *err += "writing is not supported\n";
    return false;
}

std::string firstLine(const std::string& text) {
    const std::size_t end = text.find('\n');
    return text.substr(0, end);
}

}  // namespace

base::Result<base::MeshData> parseGltf(std::span<const std::uint8_t> bytes, bool binary,
                                       const std::string& path) {
    try {
        if (bytes.size() > std::numeric_limits<unsigned int>::max())
            return base::Failure{"the file is too large"};
        const std::string folder = folderOf(path);
        tinygltf::TinyGLTF loader;
        loader.SetImageLoader(keepEncoded, nullptr);
        loader.SetFsCallbacks({fileExists, expandPath, readWholeFile, refuseWrite, nullptr});
        Model model;
        std::string error, warning;
        const bool loaded = binary
                                ? loader.LoadBinaryFromMemory(&model, &error, &warning, bytes.data(),
                                                              static_cast<unsigned int>(bytes.size()), folder)
                                : loader.LoadASCIIFromString(&model, &error, &warning,
                                                             reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<unsigned int>(bytes.size()), folder);
        if (!loaded) return base::Failure{error.empty() ? "not a glTF file" : firstLine(error)};

        MeshData out;
        out.materials.reserve(model.materials.size() + 1);
        for (const tinygltf::Material& material : model.materials)
            out.materials.push_back(materialOf(model, material, folder, path));
        std::vector<int> roots;
        if (!model.scenes.empty()) {
            const std::size_t scene =
                model.defaultScene >= 0 && static_cast<std::size_t>(model.defaultScene) < model.scenes.size()
                    ? static_cast<std::size_t>(model.defaultScene)
                    : 0;
            roots = model.scenes[scene].nodes;
        } else {
            // No scene: every node no other node holds is a root.
            std::vector<bool> held(model.nodes.size(), false);
            for (const tinygltf::Node& node : model.nodes)
                for (const int child : node.children)
                    if (child >= 0 && static_cast<std::size_t>(child) < held.size())
                        held[static_cast<std::size_t>(child)] = true;
            for (std::size_t i = 0; i < held.size(); ++i)
                if (!held[i]) roots.push_back(static_cast<int>(i));
        }
        const auto place = [&](MeshBuilder& builder) {
            // No scene nor any node: the meshes as they stand.
            if (model.scenes.empty() && model.nodes.empty())
                for (std::size_t i = 0; i < model.meshes.size(); ++i)
                    builder.addMesh(static_cast<int>(i), Matrix::identity());
            for (const int root : roots) builder.addNode(root, Matrix::identity(), 0);
        };
        MeshBuilder planner(model, out, model.materials.size(), true);
        place(planner);
        // Room for all of it at once: growing by doubling could take twice the bound.
        out.vertices.reserve(planner.plannedVertices());
        out.indices.reserve(planner.plannedTriangles() * 3);
        out.attributes.reserve(planner.plannedTriangles());
        MeshBuilder builder(model, out, model.materials.size(), false);
        place(builder);
        if (builder.usedDefault()) {
            // glTF's default material: white, without a texture.
            out.materials.push_back(whiteMaterial());
        }
        if (out.triangleCount() == 0) return base::Failure{"the file holds no triangles"};
        return out;
    } catch (const GltfError& e) {
        return base::Failure{e.what()};
    } catch (const std::bad_alloc&) {
        return base::Failure{"not enough memory for the mesh"};
    } catch (const std::exception& e) {
        return base::Failure{std::string("cannot read the model: ") + e.what()};
    }
}

}  // namespace model::gltf
