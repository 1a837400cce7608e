// Speed of the X file reader: the shipped model (read on every grab, so it must stay far below
// a frame) and a big generated mesh in the text and the binary form, with Assimp's X importer
// on the same bytes as the yardstick when Assimp is installed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tests/unit/xfile_test_files.h"
#include "xfile/xfile_reader.h"

#ifdef NUKITORI_WITH_ASSIMP
#include <assimp/cimport.h>
#include <assimp/scene.h>
#endif

namespace {

const std::string kModelPath = std::string(NUKITORI_SOURCE_DIR) + "/assets/model.x";

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A side x side grid of vertices in the layout exporters write: positions, faces, normals,
// texture coordinates and a two-material list, two triangles per grid cell.
std::vector<std::uint8_t> gridXFile(int side) {
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
std::vector<std::uint8_t> gridXFileBinary(int side) {
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

void setCounters(benchmark::State& bench, std::size_t bytes, std::size_t vertices, std::size_t triangles) {
    bench.SetBytesProcessed(bench.iterations() * static_cast<std::int64_t>(bytes));
    bench.counters["vertices"] = static_cast<double>(vertices);
    bench.counters["triangles"] = static_cast<double>(triangles);
}

// From the path, as the model object reads it on start-up and after every grab.
void readShippedModel(benchmark::State& bench) {
    const std::size_t bytes = fileBytes(kModelPath).size();
    xfile::XFileResult result = base::Failure{"not read"};
    for (auto _ : bench) {
        result = xfile::readXFile(kModelPath);
        benchmark::DoNotOptimize(result);
    }
    if (!result) {
        bench.SkipWithError(("assets/model.x: " + result.error()).c_str());
        return;
    }
    setCounters(bench, bytes, result->vertices.size(), result->triangleCount());
}
BENCHMARK(readShippedModel)->Unit(benchmark::kMicrosecond);

void parseShippedModel(benchmark::State& bench) {
    const std::vector<std::uint8_t> data = fileBytes(kModelPath);
    xfile::XFileResult result = base::Failure{"not read"};
    for (auto _ : bench) {
        result = xfile::parseXFile(data);
        benchmark::DoNotOptimize(result);
    }
    if (!result) {
        bench.SkipWithError(("assets/model.x: " + result.error()).c_str());
        return;
    }
    setCounters(bench, data.size(), result->vertices.size(), result->triangleCount());
}
BENCHMARK(parseShippedModel)->Unit(benchmark::kMicrosecond);

// Argument: grid side; 225 gives 100,352 triangles, 317 gives 100,489 vertices and 199,712
// triangles (about 18 MB of text).
void parseGeneratedGrid(benchmark::State& bench) {
    const std::vector<std::uint8_t> data = gridXFile(static_cast<int>(bench.range(0)));
    xfile::XFileResult result = base::Failure{"not read"};
    for (auto _ : bench) {
        result = xfile::parseXFile(data);
        benchmark::DoNotOptimize(result);
    }
    if (!result) {
        bench.SkipWithError(("generated grid: " + result.error()).c_str());
        return;
    }
    setCounters(bench, data.size(), result->vertices.size(), result->triangleCount());
}
BENCHMARK(parseGeneratedGrid)->Arg(100)->Arg(225)->Arg(317)->Unit(benchmark::kMillisecond);

// The binary form of the same grid: 317 is about 10.4 MB of token records.
void parseGeneratedBinaryGrid(benchmark::State& bench) {
    const std::vector<std::uint8_t> data = gridXFileBinary(static_cast<int>(bench.range(0)));
    xfile::XFileResult result = base::Failure{"not read"};
    for (auto _ : bench) {
        result = xfile::parseXFile(data);
        benchmark::DoNotOptimize(result);
    }
    if (!result) {
        bench.SkipWithError(("generated binary grid: " + result.error()).c_str());
        return;
    }
    setCounters(bench, data.size(), result->vertices.size(), result->triangleCount());
}
BENCHMARK(parseGeneratedBinaryGrid)->Arg(100)->Arg(225)->Arg(317)->Unit(benchmark::kMillisecond);

#ifdef NUKITORI_WITH_ASSIMP
// Assimp's X importer on the same bytes, with no post-processing steps asked for; the scene is
// released inside the loop, as ours is replaced inside ours.
void assimpImport(benchmark::State& bench, const std::vector<std::uint8_t>& data) {
    std::size_t vertices = 0, triangles = 0;
    for (auto _ : bench) {
        const aiScene* scene = aiImportFileFromMemory(reinterpret_cast<const char*>(data.data()),
                                                      static_cast<unsigned>(data.size()), 0, "x");
        if (!scene) {
            bench.SkipWithError((std::string("Assimp: ") + aiGetErrorString()).c_str());
            return;
        }
        vertices = triangles = 0;
        for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
            vertices += scene->mMeshes[i]->mNumVertices;
            triangles += scene->mMeshes[i]->mNumFaces;
        }
        aiReleaseImport(scene);
    }
    // Assimp splits the mesh by material and may duplicate vertices; "triangles" counts faces.
    setCounters(bench, data.size(), vertices, triangles);
}

void assimpShippedModel(benchmark::State& bench) {
    assimpImport(bench, fileBytes(kModelPath));
}
BENCHMARK(assimpShippedModel)->Unit(benchmark::kMicrosecond);

void assimpGeneratedGrid(benchmark::State& bench) {
    assimpImport(bench, gridXFile(static_cast<int>(bench.range(0))));
}
BENCHMARK(assimpGeneratedGrid)->Arg(100)->Arg(225)->Arg(317)->Unit(benchmark::kMillisecond);

void assimpGeneratedBinaryGrid(benchmark::State& bench) {
    assimpImport(bench, gridXFileBinary(static_cast<int>(bench.range(0))));
}
BENCHMARK(assimpGeneratedBinaryGrid)->Arg(100)->Arg(225)->Arg(317)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
