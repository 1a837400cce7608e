#pragma once
// Big generated X models for the benchmarks: a grid of side x side vertices, two triangles per
// cell, in the text and the binary form. Side 708 gives about 1,000,000 triangles.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "xfile_test_files.h"

namespace {

// A side x side grid of vertices in the layout exporters write: positions, faces, normals,
// texture coordinates and a two-material list, two triangles per grid cell.
[[maybe_unused]] std::vector<std::uint8_t> gridXFile(int side) {
    const int vertices = side * side;
    const int cells = (side - 1) * (side - 1);
    const int faces = cells * 2;
    std::string text;
    text.reserve(static_cast<std::size_t>(vertices) * 80 + static_cast<std::size_t>(faces) * 40);
    char line[160];
    auto add = [&](int n) { text.append(line, static_cast<std::size_t>(n)); };
    text += "xof 0303txt 0032\n\nMesh Grid {\n";
    add(std::snprintf(line, sizeof line, "  %d;\n", vertices));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const bool last = y == side - 1 && x == side - 1;
            add(std::snprintf(line, sizeof line, "  %f;%f;%f;%s\n", x * 0.01, (x * 7 + y * 3) % 11 * 0.001,
                              y * 0.01, last ? ";" : ","));
        }
    auto writeFaces = [&] {
        add(std::snprintf(line, sizeof line, "  %d;\n", faces));
        int written = 0;
        for (int y = 0; y + 1 < side; ++y)
            for (int x = 0; x + 1 < side; ++x) {
                const int a = y * side + x, b = a + 1, c = a + side, d = c + 1;
                ++written;
                add(std::snprintf(line, sizeof line, "  3;%d,%d,%d;,\n", a, c, b));
                ++written;
                add(std::snprintf(line, sizeof line, "  3;%d,%d,%d;%s\n", b, c, d,
                                  written == faces ? ";" : ","));
            }
    };
    writeFaces();
    text += "\n  MeshNormals {\n";
    add(std::snprintf(line, sizeof line, "  %d;\n", vertices));
    for (int i = 0; i < vertices; ++i)
        add(std::snprintf(line, sizeof line, "  %f;%f;%f;%s\n", 0.0, 1.0, 0.0,
                          i + 1 == vertices ? ";" : ","));
    writeFaces();
    text += "  }\n\n  MeshTextureCoords {\n";
    add(std::snprintf(line, sizeof line, "  %d;\n", vertices));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const bool last = y == side - 1 && x == side - 1;
            add(std::snprintf(line, sizeof line, "  %f;%f;%s\n", static_cast<double>(x) / (side - 1),
                              static_cast<double>(y) / (side - 1), last ? ";" : ","));
        }
    text += "  }\n\n  MeshMaterialList {\n    2;\n";
    add(std::snprintf(line, sizeof line, "    %d;\n", faces));
    for (int f = 0; f < faces; ++f)
        add(std::snprintf(line, sizeof line, "    %d%s\n", (f / 2) % 2, f + 1 == faces ? ";" : ","));
    text +=
        "\n    Material Light {\n      1.000000;1.000000;1.000000;1.000000;;\n      20.000000;\n"
        "      0.300000;0.300000;0.300000;;\n      0.000000;0.000000;0.000000;;\n"
        "      TextureFilename {\n        \"grid.bmp\";\n      }\n    }\n"
        "    Material Dark {\n      0.200000;0.200000;0.250000;1.000000;;\n      10.000000;\n"
        "      0.100000;0.100000;0.100000;;\n      0.000000;0.000000;0.000000;;\n    }\n  }\n}\n";
    return {text.begin(), text.end()};
}

// The same grid as gridXFile in the binary form ("xof 0303bin 0032"): token records with
// 32-bit floats, each list one integer or float record as exporters write them.
[[maybe_unused]] std::vector<std::uint8_t> gridXFileBinary(int side) {
    const int vertices = side * side;
    const int faces = (side - 1) * (side - 1) * 2;
    std::vector<std::uint32_t> faceList;
    faceList.reserve(static_cast<std::size_t>(faces) * 4 + 1);
    faceList.push_back(static_cast<std::uint32_t>(faces));
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x) {
            const auto a = static_cast<std::uint32_t>(y * side + x), b = a + 1,
                       c = a + static_cast<std::uint32_t>(side), d = c + 1;
            faceList.insert(faceList.end(), {3, a, c, b, 3, b, c, d});
        }
    std::vector<double> positions, normals, uvs;
    positions.reserve(static_cast<std::size_t>(vertices) * 3);
    normals.reserve(static_cast<std::size_t>(vertices) * 3);
    uvs.reserve(static_cast<std::size_t>(vertices) * 2);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            positions.insert(positions.end(), {x * 0.01, (x * 7 + y * 3) % 11 * 0.001, y * 0.01});
            normals.insert(normals.end(), {0.0, 1.0, 0.0});
            uvs.insert(uvs.end(), {static_cast<double>(x) / (side - 1), static_cast<double>(y) / (side - 1)});
        }
    std::vector<std::uint32_t> materialList{2, static_cast<std::uint32_t>(faces)};
    for (int f = 0; f < faces; ++f) materialList.push_back(static_cast<std::uint32_t>((f / 2) % 2));

    xfile_test::BinaryWriter w("xof 0303bin 0032", 4);
    w.name("Mesh").name("Grid").open().integers({static_cast<std::uint32_t>(vertices)}).floats(positions);
    w.integers(faceList);
    w.name("MeshNormals").open().integers({static_cast<std::uint32_t>(vertices)}).floats(normals);
    w.integers(faceList).close();
    w.name("MeshTextureCoords").open().integers({static_cast<std::uint32_t>(vertices)}).floats(uvs).close();
    w.name("MeshMaterialList").open().integers(materialList);
    w.name("Material").name("Light").open().floats({1, 1, 1, 1, 20, 0.3, 0.3, 0.3, 0, 0, 0});
    w.name("TextureFilename").open().string("grid.bmp").close().close();
    w.name("Material").name("Dark").open().floats({0.2, 0.2, 0.25, 1, 10, 0.1, 0.1, 0.1, 0, 0, 0}).close();
    w.close().close();
    return w.bytes();
}

}  // namespace
