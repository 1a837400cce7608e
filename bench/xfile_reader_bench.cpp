// Speed of the X file reader: the shipped model (read on every grab, so it must stay far below
// a frame) and a big generated mesh in the text and the binary form, with Assimp's X importer
// on the same bytes as the yardstick when Assimp is installed.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "../tests/unit/grid_model.h"
#include "model/xfile/xfile_reader.h"

#ifdef NUKITORI_WITH_ASSIMP
#include <assimp/cimport.h>
#include <assimp/scene.h>
#endif

#include "heap_counter.h"

namespace {

const std::string kModelPath = std::string(NUKITORI_SOURCE_DIR) + "/assets/model.x";

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void setCounters(benchmark::State& bench, std::size_t bytes, std::size_t vertices, std::size_t triangles) {
    bench.SetBytesProcessed(bench.iterations() * static_cast<std::int64_t>(bytes));
    bench.counters["vertices"] = static_cast<double>(vertices);
    bench.counters["triangles"] = static_cast<double>(triangles);
}

// From the path, as the model object reads it on start-up and after every grab.
void readShippedModel(benchmark::State& bench) {
    const std::size_t bytes = fileBytes(kModelPath).size();
    model::xfile::XFileResult result = base::Failure{"not read"};
    for (auto _ : bench) {
        result = model::xfile::readXFile(kModelPath);
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
    model::xfile::XFileResult result = base::Failure{"not read"};
    for (auto _ : bench) {
        result = model::xfile::parseXFile(data);
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
    model::xfile::XFileResult result = base::Failure{"not read"};
    for (auto _ : bench) {
        result = model::xfile::parseXFile(data);
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
    model::xfile::XFileResult result = base::Failure{"not read"};
    for (auto _ : bench) {
        result = model::xfile::parseXFile(data);
        benchmark::DoNotOptimize(result);
    }
    if (!result) {
        bench.SkipWithError(("generated binary grid: " + result.error()).c_str());
        return;
    }
    setCounters(bench, data.size(), result->vertices.size(), result->triangleCount());
}
BENCHMARK(parseGeneratedBinaryGrid)->Arg(100)->Arg(225)->Arg(317)->Unit(benchmark::kMillisecond);

// The most memory a load from a file holds at once, over the size of the mesh data it gives
// (vertices, indices, per-triangle materials): a load should not need several copies of the
// model. Argument: grid side; 1001 gives 2,000,000 triangles.
void loadPeakMemory(benchmark::State& bench) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "nukitori-bench-grid.x";
    {
        const std::vector<std::uint8_t> data = gridXFileBinary(static_cast<int>(bench.range(0)));
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    double ratio = 0, peakMb = 0, meshMb = 0;
    for (auto _ : bench) {
        const std::size_t before = heap::live;
        heap::peak = before;
        const model::xfile::XFileResult result = model::xfile::readXFile(file.string());
        if (!result) {
            bench.SkipWithError(result.error().c_str());
            break;
        }
        const double mesh = static_cast<double>(result->vertices.size() * sizeof(base::MeshVertex) +
                                                result->indices.size() * 4 + result->attributes.size() * 4);
        peakMb = static_cast<double>(heap::peak - before) / 1e6;
        meshMb = mesh / 1e6;
        ratio = peakMb / meshMb;
    }
    std::filesystem::remove(file);
    bench.counters["peak_MB"] = peakMb;
    bench.counters["mesh_MB"] = meshMb;
    bench.counters["peak_vs_mesh"] = ratio;
}
BENCHMARK(loadPeakMemory)->Arg(1001)->Iterations(1)->Unit(benchmark::kMillisecond);

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
