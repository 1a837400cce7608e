#include "model/obj/obj_reader.h"

#include <array>
#include <cmath>
#include <istream>
#include <limits>
#include <new>
#include <sstream>
#include <streambuf>

#include "base/file_bytes.h"
#include "base/utf8.h"
#include "model/mesh_builder.h"
#include "model/model_paths.h"
#include "model/polygon.h"

#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>

namespace model::obj {

namespace {

using base::MeshData;
using base::MeshMaterial;
using base::MeshVertex;

constexpr std::uint64_t kMaxMaterialFileBytes = std::uint64_t{64} << 20;
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// The file's bytes as a stream, without a copy.
class MemoryBuffer : public std::streambuf {
public:
    explicit MemoryBuffer(std::span<const std::uint8_t> bytes) {
        char* start = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
        setg(start, start, start + bytes.size());
    }
};

// Material libraries beside the model, read only when they are regular files of sane size.
class MaterialFiles final : public tinyobj::MaterialReader {
public:
    explicit MaterialFiles(std::string folder) : folder_(std::move(folder)) {}

    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                    std::map<std::string, int>* names, std::string* warn, std::string*) override {
        const std::string path = besideFolder(folder_, name);
        base::Result<std::vector<std::uint8_t>> bytes = base::readFileBytes(path, kMaxMaterialFileBytes);
        if (!bytes) return false;  // the faces keep the default material
        MemoryBuffer buffer(*bytes);
        std::istream in(&buffer);
        tinyobj::LoadMtl(names, materials, &in, warn, nullptr);
        // The library hands on the first material's address: a list still empty is no success.
        return !materials->empty();
    }

private:
    std::string folder_;
};

struct Corner {
    std::uint32_t position, coord, normal;  // kNone: not given
};

// What the file states, in file order; indices already resolved to 0-based numbers.
struct ObjContents {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<float, 3>> normals;
    std::vector<std::array<float, 2>> coords;
    std::vector<Corner> corners;
    std::vector<std::uint32_t> faceSizes;
    std::vector<int> faceMaterials;
    std::vector<tinyobj::material_t> materials;
    int material = -1;
    std::string error;

    // 1-based, or negative counting back from the last one given so far; 0 is "not given".
    std::uint32_t resolve(int index, std::size_t count) {
        if (index > 0) return static_cast<std::uint32_t>(index - 1);
        if (index < 0 && static_cast<std::size_t>(-static_cast<long long>(index)) <= count)
            return static_cast<std::uint32_t>(count -
                                              static_cast<std::size_t>(-static_cast<long long>(index)));
        if (index < 0 && error.empty()) error = "a face refers back past the first vertex";
        return kNone;
    }
};

void onVertex(void* data, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z, tinyobj::real_t) {
    static_cast<ObjContents*>(data)->positions.push_back({x, y, z});
}
void onNormal(void* data, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z) {
    static_cast<ObjContents*>(data)->normals.push_back({x, y, z});
}
void onCoord(void* data, tinyobj::real_t u, tinyobj::real_t v, tinyobj::real_t) {
    static_cast<ObjContents*>(data)->coords.push_back({u, v});
}
void onFace(void* data, tinyobj::index_t* indices, int count) {
    auto& obj = *static_cast<ObjContents*>(data);
    if (count < 3) return;  // no area
    for (int i = 0; i < count; ++i) {
        Corner c;
        c.position =
            indices[i].vertex_index == 0 ? kNone : obj.resolve(indices[i].vertex_index, obj.positions.size());
        c.coord = obj.resolve(indices[i].texcoord_index, obj.coords.size());
        c.normal = obj.resolve(indices[i].normal_index, obj.normals.size());
        if (c.position == kNone && obj.error.empty()) obj.error = "a face corner has no vertex";
        obj.corners.push_back(c);
    }
    obj.faceSizes.push_back(static_cast<std::uint32_t>(count));
    obj.faceMaterials.push_back(obj.material);
}
void onMaterial(void* data, const char*, int material) {
    static_cast<ObjContents*>(data)->material = material;
}
void onMaterialLibrary(void* data, const tinyobj::material_t* materials, int count) {
    // Every library so far: the list only grows.
    static_cast<ObjContents*>(data)->materials.assign(materials, materials + count);
}

MeshMaterial meshMaterial(const tinyobj::material_t& m, const std::string& folder) {
    MeshMaterial out;
    out.material.diffuse = {m.diffuse[0], m.diffuse[1], m.diffuse[2], m.dissolve};
    out.material.specular = {m.specular[0], m.specular[1], m.specular[2], 1.0f};
    out.material.emissive = {m.emission[0], m.emission[1], m.emission[2], 1.0f};
    out.material.power = m.shininess;
    if (!m.diffuse_texname.empty()) {
        // Kept as written when not found, so that the problem line names it.
        const std::string found = foundBeside(folder, m.diffuse_texname);
        out.textureFilename = found.empty() ? besideFolder(folder, m.diffuse_texname) : found;
    }
    return out;
}

base::Result<MeshData> buildMesh(const ObjContents& obj, const std::string& folder) {
    MeshData out;
    for (const tinyobj::material_t& m : obj.materials) out.materials.push_back(meshMaterial(m, folder));
    const auto defaultMaterial = static_cast<std::uint32_t>(out.materials.size());
    bool usedDefault = false;

    std::size_t triangles = 0;
    for (const std::uint32_t size : obj.faceSizes) triangles += size - 2;
    if (const base::Status room = checkTriangleCount(triangles); !room) return room.failure();
    out.indices.reserve(triangles * 3);
    out.attributes.reserve(triangles);
    out.vertices.reserve(obj.positions.size());

    // One vertex per distinct (position, texture coordinate, normal) a corner uses.
    VertexWelder<std::uint64_t> welder(obj.positions.size());
    auto vertexFor = [&](const Corner& c, const float* flatNormal) -> std::uint32_t {
        const auto next = static_cast<std::uint32_t>(out.vertices.size());
        if (!flatNormal) {
            const std::uint64_t rest = (std::uint64_t{c.coord} << 32) | c.normal;
            if (const std::uint32_t known = welder.find(c.position, rest, next); known != welder.kNone)
                return known;
        }
        // OBJ is right-handed with the picture's origin at the bottom; the viewer's world is
        // left-handed with it at the top.
        const auto& p = obj.positions[c.position];
        MeshVertex v;
        v.x = p[0];
        v.y = p[1];
        v.z = -p[2];
        if (flatNormal) {
            v.nx = flatNormal[0];
            v.ny = flatNormal[1];
            v.nz = -flatNormal[2];
        } else {
            const auto& n = obj.normals[c.normal];
            v.nx = n[0];
            v.ny = n[1];
            v.nz = -n[2];
        }
        if (c.coord != kNone) {
            v.u = obj.coords[c.coord][0];
            v.v = 1.0f - obj.coords[c.coord][1];
            out.hasTextureCoords = true;
        }
        out.vertices.push_back(v);
        return next;
    };

    std::vector<std::array<float, 3>> polygon;
    std::vector<std::uint32_t> split;
    std::vector<std::uint32_t> flatVertices;
    std::size_t at = 0;
    for (std::size_t f = 0; f < obj.faceSizes.size(); ++f) {
        const std::uint32_t size = obj.faceSizes[f];
        const Corner* corners = obj.corners.data() + at;
        at += size;
        polygon.clear();
        bool normalsGiven = true;
        for (std::uint32_t i = 0; i < size; ++i) {
            const Corner& c = corners[i];
            if (c.position >= obj.positions.size())
                return base::Failure{"a face names a vertex that does not exist"};
            if ((c.coord != kNone && c.coord >= obj.coords.size()) ||
                (c.normal != kNone && c.normal >= obj.normals.size()))
                return base::Failure{"a face names a texture coordinate or normal that does not exist"};
            normalsGiven = normalsGiven && c.normal != kNone;
            polygon.push_back(obj.positions[c.position]);
        }
        // A face without normals is flat: Newell's normal, counter-clockwise in front.
        float flat[3] = {0, 0, 0};
        if (!normalsGiven) {
            for (std::uint32_t i = 0; i < size; ++i) {
                const auto& a = polygon[i];
                const auto& b = polygon[(i + 1) % size];
                flat[0] += (a[1] - b[1]) * (a[2] + b[2]);
                flat[1] += (a[2] - b[2]) * (a[0] + b[0]);
                flat[2] += (a[0] - b[0]) * (a[1] + b[1]);
            }
            const float length = std::sqrt(flat[0] * flat[0] + flat[1] * flat[1] + flat[2] * flat[2]);
            if (length > 0)
                for (float& k : flat) k /= length;
        }
        split.clear();
        triangulatePolygon(polygon, split);
        const int material = obj.faceMaterials[f];
        std::uint32_t slot = defaultMaterial;
        if (material >= 0 && static_cast<std::size_t>(material) < obj.materials.size()) {
            slot = static_cast<std::uint32_t>(material);
        } else {
            usedDefault = true;
        }
        // A flat face's corners are its own, shared by its triangles only.
        flatVertices.assign(normalsGiven ? 0 : size, kNone);
        auto corner = [&](std::uint32_t k) {
            if (normalsGiven) return vertexFor(corners[k], nullptr);
            if (flatVertices[k] == kNone) flatVertices[k] = vertexFor(corners[k], flat);
            return flatVertices[k];
        };
        for (std::size_t t = 0; t < split.size(); t += 3) {
            // Counter-clockwise in front in OBJ, clockwise on the device: the second and third
            // corners change places.
            out.indices.push_back(corner(split[t]));
            out.indices.push_back(corner(split[t + 2]));
            out.indices.push_back(corner(split[t + 1]));
            out.attributes.push_back(slot);
        }
    }
    if (!positionsFinite(out.vertices)) return base::Failure{"a vertex position is not a finite number"};
    if (usedDefault) out.materials.push_back(whiteMaterial());
    out.hasNormals = true;
    return out;
}

// Text editors on Windows may save OBJ as UTF-16, whose every other byte is zero for the
// statements' letters: the reader then sees no statement at all, which tells nothing of why.
bool isUtf8Text(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return text.find('\0') == std::string_view::npos && base::isValidUtf8(text);
}

base::Failure notUtf8Text() {
    return {"the file is not UTF-8 text (UTF-16 perhaps): OBJ files are read as UTF-8"};
}

}  // namespace

base::Result<base::MeshData> parseObj(std::span<const std::uint8_t> bytes, const std::string& path) {
    try {
        const std::string folder = folderOf(path);
        ObjContents obj;
        tinyobj::callback_t callbacks;
        callbacks.vertex_cb = onVertex;
        callbacks.normal_cb = onNormal;
        callbacks.texcoord_cb = onCoord;
        callbacks.index_cb = onFace;
        callbacks.usemtl_cb = onMaterial;
        callbacks.mtllib_cb = onMaterialLibrary;
        MaterialFiles libraries(folder);
        MemoryBuffer buffer(bytes);
        std::istream in(&buffer);
        std::string warning, error;
        if (!tinyobj::LoadObjWithCallback(in, callbacks, &obj, &libraries, &warning, &error)) {
            if (!isUtf8Text(bytes)) return notUtf8Text();
            return base::Failure{error.empty() ? "not an OBJ file" : error.substr(0, error.find('\n'))};
        }
        if (!obj.error.empty()) return base::Failure{obj.error};
        base::Result<MeshData> mesh = buildMesh(obj, folder);
        if (mesh && mesh->triangleCount() == 0)
            return isUtf8Text(bytes) ? base::Failure{"the file holds no faces"} : notUtf8Text();
        return mesh;
    } catch (const std::bad_alloc&) {
        return base::Failure{"not enough memory for the mesh"};
    } catch (const std::exception& e) {
        return base::Failure{e.what()};
    }
}

}  // namespace model::obj
