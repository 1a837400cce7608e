// Speed of the capture core: the window outline from the frame picture, and the BMP encoder
// that every grab runs.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "app/region_from_bitmap.h"
#include "capture/bmp_snapshot.h"
#include "render/image.h"

namespace {

constexpr std::uint32_t kKey = 0xFFFF00FFu;
constexpr std::uint32_t kOutline = 0xFF404040u;

// A capture frame picture: the outline with a key-coloured hole 35 px in from the left and
// 37 px down, 4 px inside the right and bottom edges, and a key corner to take the key from.
render::Image framePicture(int width, int height) {
    render::Image picture(width, height, kOutline);
    for (int y = 37; y < height - 4; ++y)
        for (int x = 35; x < width - 4; ++x) picture.at(x, y) = kKey;
    picture.at(0, height - 1) = kKey;
    return picture;
}

// Many small holes on a grid: the worst kind of picture for merging runs into rectangles.
render::Image perforatedPicture(int size) {
    render::Image picture(size, size, kOutline);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if ((x % 7 < 3 && y % 5 < 2) || (x + y) % 23 == 0) picture.at(x, y) = kKey;
    picture.at(0, size - 1) = kKey;
    return picture;
}

render::Image gradient(int width, int height) {
    render::Image image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) = 0xFF000000u | static_cast<std::uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x ^ y) & 0xFF));
    return image;
}

void regionOfFramePicture(benchmark::State& state) {
    const render::Image picture = framePicture(177, 152);
    for (auto _ : state) benchmark::DoNotOptimize(app::regionFromBitmap(picture, -1, 4, 4));
    state.SetItemsProcessed(state.iterations() * picture.width * picture.height);
}
BENCHMARK(regionOfFramePicture);

// Pixels per second should stay flat as the side grows: the build is linear in the picture.
void regionOfPerforatedPicture(benchmark::State& state) {
    const render::Image picture = perforatedPicture(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(app::regionFromBitmap(picture, -1, 0, 0));
    state.SetItemsProcessed(state.iterations() * picture.width * picture.height);
}
BENCHMARK(regionOfPerforatedPicture)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

void encodeSnapshot(benchmark::State& state) {
    const render::Image image = gradient(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(capture::encodeBmpSnapshot(image));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.pixels.size()) * 3);
}
BENCHMARK(encodeSnapshot)->Args({138, 111})->Args({4000, 300});

}  // namespace

BENCHMARK_MAIN();
