// Speed of the glTF and OBJ readers on a generated 1,000,000-triangle grid, read from the file
// as the program reads it, with Assimp's importers on the same files as the yardstick when
// Assimp is installed. Target: no slower than Assimp (the *VsAssimp benchmarks' ours_vs_assimp).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "model/model_reader.h"
#include "model_files.h"

#ifdef NUKITORI_WITH_ASSIMP
#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#endif

#include "heap_counter.h"

namespace {

constexpr int kGridSide = 708;  // 999,698 triangles
std::filesystem::path folder;
std::string glbPath, objPath;

struct Figures {
    double seconds = 0;
    double peakMb = 0;
    long pageFaults = 0;  // fresh memory the load touched: the kernel's share of its time
    std::size_t vertices = 0, triangles = 0;
    std::string error;
};

// Every load starts with the free memory handed back to the system, as a load in a fresh
// program does: otherwise whichever reader leaves the allocator holding its pages would be
// timed without the kernel's share while the other pays it.
void startCold() {
    malloc_trim(0);
}

long pageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// One load from a cold start: `load` gives its result, timed; `count` fills in what it holds
// (or why it failed) and releases it, outside the time.
template <class Load, class Count>
Figures measureLoad(Load load, Count count) {
    Figures f;
    const std::size_t before = heap::live;
    heap::peak = before;
    startCold();
    const long faults = pageFaults();
    const auto start = std::chrono::steady_clock::now();
    auto result = load();
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.pageFaults = pageFaults() - faults;
    count(result, f);
    f.peakMb = static_cast<double>(heap::peak - before) / 1e6;
    return f;
}

Figures readOurs(const std::string& path) {
    return measureLoad([&] { return model::readModel(path); },
                       [](const base::Result<base::MeshData>& mesh, Figures& f) {
                           if (!mesh) {
                               f.error = mesh.error();
                               return;
                           }
                           f.vertices = mesh->vertices.size();
                           f.triangles = mesh->triangleCount();
                       });
}

void setCounters(benchmark::State& bench, const std::string& path, const Figures& f) {
    bench.SetBytesProcessed(bench.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(path)));
    bench.counters["vertices"] = static_cast<double>(f.vertices);
    bench.counters["triangles"] = static_cast<double>(f.triangles);
    bench.counters["peak_MB"] = f.peakMb;
    bench.counters["page_faults"] = static_cast<double>(f.pageFaults);
}

// The time column is the load alone: the mesh is released outside it, as Assimp's scene is.
template <class Read>
void timeLoads(benchmark::State& bench, const std::string& path, Read read) {
    Figures f;
    for (auto _ : bench) {
        f = read();
        if (!f.error.empty()) {
            bench.SkipWithError(f.error.c_str());
            return;
        }
        bench.SetIterationTime(f.seconds);
    }
    setCounters(bench, path, f);
}

void readOurFile(benchmark::State& bench, const std::string* path) {
    timeLoads(bench, *path, [&] { return readOurs(*path); });
}
BENCHMARK_CAPTURE(readOurFile, glb, &glbPath)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOurFile, obj, &objPath)->UseManualTime()->Unit(benchmark::kMillisecond);

#ifdef NUKITORI_WITH_ASSIMP
// Output comparable with ours, which is triangles with shared vertices: glTF's triangles and
// vertices come so already; Assimp's OBJ importer gives every corner a vertex of its own and
// keeps quads, so it also joins identical vertices. Flags 0 is shown beside for reference.
constexpr unsigned kGlbFlags = aiProcess_Triangulate;
constexpr unsigned kObjFlags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices;

Figures readAssimp(const std::string& path, unsigned flags) {
    return measureLoad([&] { return aiImportFile(path.c_str(), flags); },
                       [](const aiScene* scene, Figures& f) {
                           if (!scene) {
                               f.error = std::string("Assimp: ") + aiGetErrorString();
                               return;
                           }
                           for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
                               f.vertices += scene->mMeshes[i]->mNumVertices;
                               f.triangles += scene->mMeshes[i]->mNumFaces;  // faces: quads too with flags 0
                           }
                           aiReleaseImport(scene);
                       });
}

void readAssimpFile(benchmark::State& bench, const std::string* path, unsigned flags) {
    timeLoads(bench, *path, [&] { return readAssimp(*path, flags); });
}
BENCHMARK_CAPTURE(readAssimpFile, glb, &glbPath, kGlbFlags)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAssimpFile, obj, &objPath, kObjFlags)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAssimpFile, glb_flags0, &glbPath, 0u)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAssimpFile, obj_flags0, &objPath, 0u)->UseManualTime()->Unit(benchmark::kMillisecond);

// Ours and Assimp's in turn within each iteration, so that both see the same machine load: the
// time column is ours; ours_vs_assimp is the target's figure (at most 1.0).
void oursVsAssimp(benchmark::State& bench, const std::string* path, unsigned flags) {
    double ours = 0, theirs = 0;
    for (auto _ : bench) {
        const Figures a = readOurs(*path);
        const Figures b = readAssimp(*path, flags);
        if (!a.error.empty() || !b.error.empty()) {
            bench.SkipWithError((a.error + b.error).c_str());
            return;
        }
        ours += a.seconds;
        theirs += b.seconds;
        bench.SetIterationTime(a.seconds);
    }
    const double n = static_cast<double>(bench.iterations());
    bench.counters["ours_ms"] = ours / n * 1e3;
    bench.counters["assimp_ms"] = theirs / n * 1e3;
    bench.counters["ours_vs_assimp"] = ours / theirs;
}
BENCHMARK_CAPTURE(oursVsAssimp, glb, &glbPath, kGlbFlags)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(oursVsAssimp, obj, &objPath, kObjFlags)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    folder = std::filesystem::temp_directory_path() / ("nukitori-model-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    glbPath = (folder / "grid.glb").string();
    objPath = (folder / "grid.obj").string();
    model_files::writeGlb(glbPath, kGridSide);
    model_files::writeObj(objPath, kGridSide);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
