#pragma once
// Big generated glTF and OBJ models for the model reader benchmarks: the grid of
// tests/unit/grid_model.h (side x side vertices with positions, normals and texture coordinates,
// two materials taking turns cell by cell). Side 708 gives 499,849 cells: about 1,000,000
// triangles.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace model_files {

inline void writeFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::ofstream(path, std::ios::binary)
        .write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The corners of cell (x, y), counter-clockwise seen from +y as glTF and OBJ want the front.
inline void cellCorners(int side, int x, int y, std::uint32_t out[4]) {
    const auto a = static_cast<std::uint32_t>(y * side + x);
    out[0] = a;                                         // a
    out[1] = a + static_cast<std::uint32_t>(side);      // c
    out[2] = a + static_cast<std::uint32_t>(side) + 1;  // d
    out[3] = a + 1;                                     // b
}

// One mesh of two primitives (one per material) sharing the position, normal and texture
// coordinate accessors, each with its own uint32 index list of two triangles per cell.
inline void writeGlb(const std::filesystem::path& path, int side) {
    const auto vertices = static_cast<std::uint32_t>(side * side);
    std::vector<float> positions, normals, coords;
    positions.reserve(vertices * 3);
    normals.reserve(vertices * 3);
    coords.reserve(vertices * 2);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            positions.insert(positions.end(), {x * 0.01f, (x * 7 + y * 3) % 11 * 0.001f, y * 0.01f});
            normals.insert(normals.end(), {0.0f, 1.0f, 0.0f});
            coords.insert(coords.end(), {float(x) / float(side - 1), float(y) / float(side - 1)});
        }
    std::vector<std::uint32_t> indices[2];
    int cell = 0;
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x, ++cell) {
            std::uint32_t q[4];
            cellCorners(side, x, y, q);
            indices[cell % 2].insert(indices[cell % 2].end(), {q[0], q[1], q[3], q[3], q[1], q[2]});
        }

    std::vector<std::uint8_t> bin;
    auto append = [&](const void* data, std::size_t size) {
        const std::size_t at = bin.size();
        bin.resize(at + size);
        std::memcpy(bin.data() + at, data, size);
        return at;
    };
    const std::size_t viewBytes[5] = {positions.size() * 4, normals.size() * 4, coords.size() * 4,
                                      indices[0].size() * 4, indices[1].size() * 4};
    std::size_t viewOffset[5];
    viewOffset[0] = append(positions.data(), viewBytes[0]);
    viewOffset[1] = append(normals.data(), viewBytes[1]);
    viewOffset[2] = append(coords.data(), viewBytes[2]);
    viewOffset[3] = append(indices[0].data(), viewBytes[3]);
    viewOffset[4] = append(indices[1].data(), viewBytes[4]);

    std::string json =
        R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
        R"("meshes":[{"primitives":[)"
        R"({"attributes":{"POSITION":0,"NORMAL":1,"TEXCOORD_0":2},"indices":3,"material":0},)"
        R"({"attributes":{"POSITION":0,"NORMAL":1,"TEXCOORD_0":2},"indices":4,"material":1}]}],)"
        R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":[1,1,1,1]}},)"
        R"({"pbrMetallicRoughness":{"baseColorFactor":[0.2,0.2,0.25,1]}}],)";
    json += R"("buffers":[{"byteLength":)" + std::to_string(bin.size()) + "}],\"bufferViews\":[";
    for (int v = 0; v < 5; ++v)
        json += std::string(v ? "," : "") + R"({"buffer":0,"byteOffset":)" + std::to_string(viewOffset[v]) +
                R"(,"byteLength":)" + std::to_string(viewBytes[v]) +
                (v < 3 ? R"(,"target":34962})" : R"(,"target":34963})");
    const float top = 10 * 0.001f, far = float(side - 1) * 0.01f;
    char bounds[160];
    std::snprintf(bounds, sizeof bounds, R"("min":[0,0,0],"max":[%.9g,%.9g,%.9g])", double(far), double(top),
                  double(far));
    const std::string count = std::to_string(vertices);
    json += R"(],"accessors":[{"bufferView":0,"componentType":5126,"count":)" + count + R"(,"type":"VEC3",)" +
            bounds + "},";
    json += R"({"bufferView":1,"componentType":5126,"count":)" + count + R"(,"type":"VEC3"},)";
    json += R"({"bufferView":2,"componentType":5126,"count":)" + count + R"(,"type":"VEC2"},)";
    for (int p = 0; p < 2; ++p)
        json += R"({"bufferView":)" + std::to_string(3 + p) + R"(,"componentType":5125,"count":)" +
                std::to_string(indices[p].size()) + R"(,"type":"SCALAR"})" + (p ? "]}" : ",");
    while (json.size() % 4) json += ' ';
    while (bin.size() % 4) bin.push_back(0);

    std::vector<std::uint32_t> head = {0x46546C67, 2,
                                       static_cast<std::uint32_t>(12 + 8 + json.size() + 8 + bin.size()),
                                       static_cast<std::uint32_t>(json.size()), 0x4E4F534A};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), 20);
    out.write(json.data(), static_cast<std::streamsize>(json.size()));
    const std::uint32_t binHead[2] = {static_cast<std::uint32_t>(bin.size()), 0x004E4942};
    out.write(reinterpret_cast<const char*>(binHead), 8);
    out.write(reinterpret_cast<const char*>(bin.data()), static_cast<std::streamsize>(bin.size()));
}

// The grid as exporters write it: v, vt and vn lists, then the quads of each material under its
// usemtl, "f a/a/a b/b/b c/c/c d/d/d", with an .mtl of the same name beside it.
inline void writeObj(const std::filesystem::path& path, int side) {
    std::filesystem::path mtl = path;
    mtl.replace_extension(".mtl");
    const std::string materials =
        "newmtl Light\nKd 1 1 1\nKs 0.3 0.3 0.3\nNs 20\nmap_Kd grid.bmp\n\n"
        "newmtl Dark\nKd 0.2 0.2 0.25\nKs 0.1 0.1 0.1\nNs 10\n";
    writeFile(mtl, materials.data(), materials.size());

    std::string text = "mtllib " + mtl.filename().string() + "\no Grid\n";
    text.reserve(static_cast<std::size_t>(side) * side * 160);
    char line[200];
    auto add = [&](int n) { text.append(line, static_cast<std::size_t>(n)); };
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            add(std::snprintf(line, sizeof line, "v %f %f %f\n", x * 0.01, (x * 7 + y * 3) % 11 * 0.001,
                              y * 0.01));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            add(std::snprintf(line, sizeof line, "vt %f %f\n", double(x) / (side - 1),
                              double(y) / (side - 1)));
    for (int i = 0; i < side * side; ++i) text += "vn 0.000000 1.000000 0.000000\n";
    for (int m = 0; m < 2; ++m) {
        text += m == 0 ? "usemtl Light\n" : "usemtl Dark\n";
        int cell = 0;
        for (int y = 0; y + 1 < side; ++y)
            for (int x = 0; x + 1 < side; ++x, ++cell) {
                if (cell % 2 != m) continue;
                std::uint32_t q[4];
                cellCorners(side, x, y, q);
                for (std::uint32_t& k : q) ++k;  // 1-based
                add(std::snprintf(line, sizeof line, "f %u/%u/%u %u/%u/%u %u/%u/%u %u/%u/%u\n", q[0], q[0],
                                  q[0], q[1], q[1], q[1], q[2], q[2], q[2], q[3], q[3], q[3]));
            }
    }
    writeFile(path, text.data(), text.size());
}

}  // namespace model_files
