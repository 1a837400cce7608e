// Saving into a full save folder: held keypad plus or minus saves one numbered file after the
// other, and each must cost the same whether the folder already holds 100,000 numbered files
// (0.bmp to 99999.bmp, the counter starting at 0 as after a start) or none. Both folders are
// saved into in the same run, in alternating batches so both see the same machine.
//   "full_vs_empty": a save into the full folder over a save into the empty one; the target is
//   at most 1.2.
//   "first_full_ms": the first save into the full folder, which finds the first free number
//   from 0 on, once.
// Everything runs in a fresh temporary folder, removed at the end.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "backends/fake/fake_shell.h"
#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/image.h"
#include "capture/numbered_snapshot.h"
#include "state/save_state.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFilesInFullFolder = 100'000;
constexpr int kBatch = 16;

// A working folder with its save folder, which the saves find relative to the working folder.
struct Place {
    fs::path folder;
    state::SaveState save;

    fs::path saveFolder() const { return folder / base::pathFromUtf8(base::kSaveFolder); }
};

bool fill(const fs::path& saveFolder, int files) {
    std::error_code ec;
    fs::create_directories(saveFolder, ec);
    for (int i = 0; i < files && !ec; ++i) {
        std::FILE* file = std::fopen((saveFolder / (std::to_string(i) + ".bmp")).c_str(), "wb");
        if (!file) return false;
        std::fclose(file);
    }
    return !ec;
}

// Removes the files a batch saved and sets the counter back to `from`, so that every batch finds
// its folder as the first one did.
void reset(Place& place, std::vector<std::int32_t>& saved, std::int32_t from) {
    std::error_code ec;
    for (const std::int32_t n : saved) fs::remove(place.saveFolder() / (std::to_string(n) + ".bmp"), ec);
    saved.clear();
    place.save.saveCounter = from;
}

// Seconds for one batch of saves in `place`; the numbers saved go to `saved`.
double saveBatch(Place& place, backends::fake::FakeShell& shell, const base::Image& picture,
                 std::vector<std::int32_t>& saved, benchmark::State& state) {
    fs::current_path(place.folder);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
        capture::saveNumberedSnapshot(place.save, shell, picture, capture::SampleKind::Capture,
                                      {0, 0, 50, 50});
        if (place.save.lastSaveFailed) state.SkipWithError("a save failed");
        saved.push_back(place.save.lastSavedNumber);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void saveIntoFullFolderAgainstEmpty(benchmark::State& state) {
    const fs::path root = fs::current_path();
    Place empty{root / "empty", {}}, full{root / "full", {}};
    if (!fill(empty.saveFolder(), 0) || !fill(full.saveFolder(), kFilesInFullFolder)) {
        state.SkipWithError("the save folders cannot be made");
        return;
    }
    backends::fake::FakeShell shell;
    const base::Image picture(50, 50, 0xFF336699u);
    std::vector<std::int32_t> saved;
    // The first save of each: the full folder's finds the free number once.
    saveBatch(empty, shell, picture, saved, state);
    reset(empty, saved, 0);
    fs::current_path(full.folder);
    const Clock::time_point first = Clock::now();
    capture::saveNumberedSnapshot(full.save, shell, picture, capture::SampleKind::Capture, {0, 0, 50, 50});
    const double firstSeconds = std::chrono::duration<double>(Clock::now() - first).count();
    const std::int32_t fullFrom = full.save.saveCounter;

    double emptySeconds = 0, fullSeconds = 0;
    std::vector<std::int32_t> savedFull;
    for (auto _ : state) {
        emptySeconds += saveBatch(empty, shell, picture, saved, state);
        fullSeconds += saveBatch(full, shell, picture, savedFull, state);
        state.PauseTiming();
        reset(empty, saved, 0);
        reset(full, savedFull, fullFrom);
        state.ResumeTiming();
    }
    fs::current_path(root);
    const double saves = static_cast<double>(state.iterations()) * kBatch;
    state.counters["empty_us"] = emptySeconds / saves * 1e6;
    state.counters["full_us"] = fullSeconds / saves * 1e6;
    state.counters["full_vs_empty"] = fullSeconds / emptySeconds;
    state.counters["first_full_ms"] = firstSeconds * 1e3;
}
BENCHMARK(saveIntoFullFolderAgainstEmpty)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string folder = (fs::temp_directory_path() / "save_folder_bench.XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::fprintf(stderr, "save_folder_bench: cannot make a temporary folder\n");
        return 1;
    }
    std::error_code ec;
    fs::current_path(folder, ec);
    if (ec) {
        std::fprintf(stderr, "save_folder_bench: cannot enter %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(folder, ec);
    return 0;
}
