// Speed of the capture core: the window outline from the frame picture (against a literal
// rectangle-by-rectangle subtraction as the yardstick), the BMP encoder and the file writes
// that every grab runs, and the peak memory of an overlay capture, which must follow the
// picture's size and nothing else.
// The benches that write files run in a fresh temporary folder, removed at the end.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "app/app_state.h"
#include "backends/fake/fake_shell.h"
#include "backends/fake/synthetic_screen.h"
#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/image.h"
#include "base/region_from_bitmap.h"
#include "base/safe_file.h"
#include "capture/bmp_snapshot.h"
#include "capture/numbered_file.h"
#include "capture/overlay_capture.h"
#include "capture/sample_record.h"

// Heap bytes held through operator new, and the most held since the last reset: enough to
// see every picture and file buffer of a capture (all std::vector).
namespace heap {
std::atomic<std::int64_t> current{0};
std::atomic<std::int64_t> peak{0};

void note(std::int64_t delta) {
    const std::int64_t now = current.fetch_add(delta, std::memory_order_relaxed) + delta;
    std::int64_t seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}
}  // namespace heap

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    heap::note(static_cast<std::int64_t>(malloc_usable_size(p)));
    return p;
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void operator delete(void* p) noexcept {
    if (!p) return;
    heap::note(-static_cast<std::int64_t>(malloc_usable_size(p)));
    std::free(p);
}
void operator delete[](void* p) noexcept {
    ::operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    ::operator delete(p);
}

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kKey = 0xFFFF00FFu;
constexpr std::uint32_t kOutline = 0xFF404040u;

// A capture frame picture: the outline with a key-coloured hole 35 px in from the left and
// 37 px down, 4 px inside the right and bottom edges, and a key corner to take the key from.
base::Image framePicture(int width, int height) {
    base::Image picture(width, height, kOutline);
    for (int y = 37; y < height - 4; ++y)
        for (int x = 35; x < width - 4; ++x) picture.at(x, y) = kKey;
    picture.at(0, height - 1) = kKey;
    return picture;
}

// An uncompressed 24-bit BMP (bottom-up BGR rows padded to four bytes), as the shipped frame
// picture is stored; anything else gives an empty picture.
base::Image readBmp24(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> d{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto le = [&](std::size_t at, int size) {
        std::uint32_t v = 0;
        for (int i = size - 1; i >= 0; --i) v = v << 8 | d[at + static_cast<std::size_t>(i)];
        return v;
    };
    if (d.size() < 54 || d[0] != 'B' || d[1] != 'M' || le(28, 2) != 24 || le(30, 4) != 0) return {};
    const auto width = static_cast<std::int32_t>(le(18, 4)), height = static_cast<std::int32_t>(le(22, 4));
    const std::size_t offset = le(10, 4), row = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    if (width <= 0 || height <= 0 || offset + row * static_cast<std::size_t>(height) > d.size()) return {};
    base::Image picture(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = d.data() + offset + row * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x, in += 3)
            picture.at(x, y) = 0xFF000000u | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
    }
    return picture;
}

// Many small holes on a grid: the worst kind of picture for merging runs into rectangles.
base::Image perforatedPicture(int size) {
    base::Image picture(size, size, kOutline);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if ((x % 7 < 3 && y % 5 < 2) || (x + y) % 23 == 0) picture.at(x, y) = kKey;
    picture.at(0, size - 1) = kKey;
    return picture;
}

// One-pixel squares, the bottom-left one key-coloured: every other pixel is a rectangle of
// its own and every key pixel a run of its own, the worst case there is.
base::Image checkerboard(int size) {
    base::Image picture(size, size, kOutline);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if ((x + y) % 2 == (size - 1) % 2) picture.at(x, y) = kKey;
    return picture;
}

base::Image gradient(int width, int height) {
    base::Image image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) = 0xFF000000u | static_cast<std::uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 |
                                                                      ((x ^ y) & 0xFF));
    return image;
}

// The yardstick, done literally: start from the whole picture and, column by column, take
// every vertical run of key pixels away from every rectangle of the shape, splitting the
// rectangles it cuts, as one region difference per run would. The shape is a list of
// disjoint rectangles, so each run costs a pass over the whole list.
void subtract(std::vector<base::RegionRect>& region, const base::RegionRect& cut,
              std::vector<base::RegionRect>& next) {
    next.clear();
    for (const base::RegionRect& r : region) {
        if (cut.right <= r.left || r.right <= cut.left || cut.bottom <= r.top || r.bottom <= cut.top) {
            next.push_back(r);
            continue;
        }
        const int top = std::max(r.top, cut.top), bottom = std::min(r.bottom, cut.bottom);
        if (r.top < top) next.push_back({r.left, r.top, r.right, top});
        if (r.left < cut.left) next.push_back({r.left, top, cut.left, bottom});
        if (cut.right < r.right) next.push_back({cut.right, top, r.right, bottom});
        if (bottom < r.bottom) next.push_back({r.left, bottom, r.right, r.bottom});
    }
    region.swap(next);
}

base::Region literalRegion(const base::Image& picture) {
    const std::uint32_t key = picture.at(0, picture.height - 1) & 0x00FFFFFFu;
    std::vector<base::RegionRect> region{{0, 0, picture.width, picture.height}}, next;
    for (int x = 0; x < picture.width; ++x)
        for (int y = 0; y < picture.height;) {
            if ((picture.at(x, y) & 0x00FFFFFFu) != key) {
                ++y;
                continue;
            }
            const int start = y;
            while (y < picture.height && (picture.at(x, y) & 0x00FFFFFFu) == key) ++y;
            subtract(region, {x, start, x + 1, y}, next);
        }
    return region;
}

// 1 when both regions cover exactly the same pixels, each once.
double sameShape(const base::Region& a, const base::Region& b, int width, int height) {
    auto cover = [&](const base::Region& region) {
        std::vector<int> count(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        for (const base::RegionRect& r : region)
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x) ++count[static_cast<std::size_t>(y) * width + x];
        return count;
    };
    const std::vector<int> ca = cover(a), cb = cover(b);
    for (std::size_t i = 0; i < ca.size(); ++i)
        if (ca[i] > 1 || ca[i] != cb[i]) return 0;
    return 1;
}

void ours(benchmark::State& state, const base::Image& picture) {
    if (picture.empty()) {
        state.SkipWithError("no picture");
        return;
    }
    base::Region region;
    for (auto _ : state) {
        region = base::regionFromBitmap(picture, -1, 0, 0);
        benchmark::DoNotOptimize(region);
    }
    state.SetItemsProcessed(state.iterations() * picture.width * picture.height);
    state.counters["rects"] = static_cast<double>(region.size());
}

void literal(benchmark::State& state, const base::Image& picture) {
    base::Region region;
    for (auto _ : state) {
        region = literalRegion(picture);
        benchmark::DoNotOptimize(region);
    }
    state.SetItemsProcessed(state.iterations() * picture.width * picture.height);
    state.counters["rects"] = static_cast<double>(region.size());
    state.counters["same_shape"] =
        sameShape(base::regionFromBitmap(picture, -1, 0, 0), region, picture.width, picture.height);
}

void regionOfFramePicture(benchmark::State& state) {
    ours(state, framePicture(177, 152));
}
BENCHMARK(regionOfFramePicture)->Unit(benchmark::kMicrosecond);

void literalRegionOfFramePicture(benchmark::State& state) {
    literal(state, framePicture(177, 152));
}
BENCHMARK(literalRegionOfFramePicture)->Unit(benchmark::kMicrosecond);

// The picture the frame window is really cut from.
void regionOfShippedFramePicture(benchmark::State& state) {
    ours(state, readBmp24(std::string(NUKITORI_SOURCE_DIR) + "/assets/枠.bmp"));
}
BENCHMARK(regionOfShippedFramePicture)->Unit(benchmark::kMicrosecond);

// Pixels per second should stay flat as the side grows: the build is linear in the picture.
void regionOfPerforatedPicture(benchmark::State& state) {
    ours(state, perforatedPicture(static_cast<int>(state.range(0))));
}
BENCHMARK(regionOfPerforatedPicture)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

void regionOfCheckerboard(benchmark::State& state) {
    ours(state, checkerboard(static_cast<int>(state.range(0))));
}
BENCHMARK(regionOfCheckerboard)->RangeMultiplier(2)->Range(64, 2048)->Unit(benchmark::kMillisecond);

// Grows with the square of the pixels; 256 already takes about a second per build here.
void literalRegionOfCheckerboard(benchmark::State& state) {
    literal(state, checkerboard(static_cast<int>(state.range(0))));
}
BENCHMARK(literalRegionOfCheckerboard)->RangeMultiplier(2)->Range(32, 256)->Unit(benchmark::kMillisecond);

void encodeSnapshot(benchmark::State& state) {
    const base::Image image = gradient(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(capture::encodeBmpSnapshot(image));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.pixels.size()) * 3);
}
BENCHMARK(encodeSnapshot)->Args({138, 111})->Args({594, 578})->Args({4000, 300});

// The file part of a grab and of a capture, for the split of their time: the grab texture
// rewritten in place, and a new numbered file (deleted again every 64 outside the timing).
void writeGrabTextureFile(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = capture::encodeBmpSnapshot(gradient(138, 111));
    base::Status result = base::Done{};
    for (auto _ : state)
        result = base::writeFileAtomically(base::pathFromUtf8(base::kGrabTextureFile), bytes,
                                           base::Durability::Scratch);  // as frameGrab writes it
    if (!result) state.SkipWithError(result.error().c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(writeGrabTextureFile)->Unit(benchmark::kMicrosecond);

void removeNumberedCaptures() {
    std::error_code ec;
    fs::remove_all(base::pathFromUtf8(base::kSaveFolder), ec);
}

void writeNumberedFile(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = capture::encodeBmpSnapshot(
        gradient(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    removeNumberedCaptures();
    std::int32_t number = 0;
    base::Status written = base::Done{};
    for (auto _ : state) {
        written = capture::saveNumbered(bytes, "bench", number++).written;
        if (number == 64) {
            state.PauseTiming();
            removeNumberedCaptures();
            number = 0;
            state.ResumeTiming();
        }
    }
    if (!written) state.SkipWithError(written.error().c_str());
    removeNumberedCaptures();
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(writeNumberedFile)->Args({50, 50})->Args({594, 578})->Unit(benchmark::kMicrosecond);

// What the record adds to a save, as held keypad − runs them: captures on the doubles with their
// record line against the same captures without it, alternating in batches so both see the same
// machine. The target: ratio at most 1.1.
void captureWithRecordAgainstWithout(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    backends::fake::FakeShell shell;
    backends::fake::SyntheticScreen screen{1920, 1200};
    app::AppState appState;
    appState.view.overlayWidth = 200;
    appState.view.overlayHeight = 150;
    capture::CaptureView view;
    view.modelPath = "model.x";
    view.modelSha256 = std::string(64, 'a');
    view.objectBox = std::array<int, 4>{10, 12, 150, 120};
    view.objectPolygon = {{10, 12}, {160, 12}, {160, 132}, {10, 132}};
    Clock::duration plain{}, recorded{};
    std::int64_t saves = 0;
    for (auto _ : state) {
        removeNumberedCaptures();
        appState.save.saveCounter = 0;
        for (const bool record : {false, true}) {
            const Clock::time_point start = Clock::now();
            for (int i = 0; i < 16; ++i) {
                const auto saved = capture::overlayCapture(appState.view, appState.save, shell, screen);
                if (record && saved) {
                    const std::string line =
                        capture::sampleLine(*saved, &view, appState.view,
                                            capture::utcTime(std::chrono::system_clock::now()), "nukitori");
                    if (!capture::appendToRecord(line))
                        state.SkipWithError("the record could not be written");
                }
            }
            (record ? recorded : plain) += Clock::now() - start;
        }
        saves += 16;
    }
    removeNumberedCaptures();
    const auto perSave = [&](Clock::duration total) {
        return std::chrono::duration<double, std::micro>(total).count() / static_cast<double>(saves);
    };
    state.counters["plain_us"] = perSave(plain);
    state.counters["recorded_us"] = perSave(recorded);
    state.counters["ratio"] = perSave(recorded) / perSave(plain);
}
BENCHMARK(captureWithRecordAgainstWithout)->Unit(benchmark::kMillisecond);

// The most heap an overlay capture holds at once, above what was held before it, over the
// picture's pixels: the same figure at every size means memory follows the picture. The
// screen double stands for a 1920 x 1200 desktop, larger than every overlay here.
void overlayCapturePeakHeap(benchmark::State& state) {
    backends::fake::SyntheticScreen screen(1920, 1200);
    backends::fake::FakeShell shell;
    shell.editText = "bench";
    app::AppState appState;
    appState.view.overlayX = 0;
    appState.view.overlayY = 0;
    appState.view.overlayWidth = static_cast<std::uint16_t>(state.range(0));
    appState.view.overlayHeight = static_cast<std::uint16_t>(state.range(1));
    removeNumberedCaptures();
    std::int64_t peakAbove = 0;
    for (auto _ : state) {
        const std::int64_t before = heap::current.load();
        heap::peak.store(before);
        capture::overlayCapture(appState.view, appState.save, shell, screen);
        peakAbove = std::max(peakAbove, heap::peak.load() - before);
        if (++appState.save.saveCounter == 64) {
            state.PauseTiming();
            removeNumberedCaptures();
            appState.save.saveCounter = 0;
            state.ResumeTiming();
        }
    }
    if (appState.save.lastSaveFailed) state.SkipWithError("the last capture was not saved");
    removeNumberedCaptures();
    const double pixels = static_cast<double>(state.range(0) * state.range(1));
    state.counters["peak_heap_bytes"] = static_cast<double>(peakAbove);
    state.counters["peak_per_pixel"] = static_cast<double>(peakAbove) / pixels;
    state.counters["image_bytes"] = pixels * 4;
    state.counters["file_bytes"] = static_cast<double>(
        capture::kBmpHeaderSize +
        capture::bmpRowLength(static_cast<int>(state.range(0))) * static_cast<std::size_t>(state.range(1)));
}
BENCHMARK(overlayCapturePeakHeap)
    ->Args({297, 289})
    ->Args({594, 578})
    ->Args({1188, 1156})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string folder = (fs::temp_directory_path() / "capture_bench.XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::fprintf(stderr, "capture_bench: cannot make a temporary folder\n");
        return 1;
    }
    std::error_code ec;
    fs::current_path(folder, ec);
    if (ec) {
        std::fprintf(stderr, "capture_bench: cannot enter %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(folder, ec);
    return 0;
}
