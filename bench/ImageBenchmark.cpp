#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchmarkTiming.h"

#include "ZarvikEngine/Tools/ImageTools.h"
#include "ZarvikEngine/Tools/RectPacking.h"

using namespace ZarvikEngine;

namespace {

/* 10,000 rectangles of 8 to the argument's pixels per side, the sizes of glyphs, decals and
   lightmap charts, into a 4096 × 4096 atlas. With 128 they cover nearly three times the atlas,
   so about half of them search the free list in vain; with 64 nearly all fit. */
void BM_RectPackingInsert(benchmark::State& state) {
    std::mt19937 random{1234};
    std::uniform_int_distribution<int> side{8, int(state.range(0))};
    std::vector<Vector2us> sizes(10000);
    for (Vector2us& size : sizes)
        size = Vector2us(side(random), side(random));

    std::size_t placed = 0, spaces = 0;
    float occupancy = 0.0f;
    for (auto _ : state) {
        RectPacking packing{Vector2us{4096, 4096}};
        placed = 0;
        for (const Vector2us& size : sizes)
            placed += packing.insert(size).has_value();
        occupancy = packing.occupancy();
        spaces = packing.spaces().size();
        benchmark::DoNotOptimize(packing.spaces().data());
    }
    state.counters["inserts_per_second"] =
        benchmark::Counter(double(state.iterations() * sizes.size()), benchmark::Counter::kIsRate);
    state.counters["placed"] = double(placed);
    state.counters["free_spaces"] = double(spaces);
    state.counters["occupancy"] = occupancy;
}
BENCHMARK(BM_RectPackingInsert)->Arg(128)->Arg(64)->Unit(benchmark::kMillisecond);

/* All 256 tiles of 256 × 256 pixels with a 2-pixel border out of a 4096 × 4096 RGBA8 image,
   against one memcpy of the bytes the tiles take */
void BM_ImageTile(benchmark::State& state) {
    constexpr int TileSize = 256, Border = 2, Tiles = 256;
    constexpr int TiledSize = TileSize + 2 * Border;
    constexpr std::size_t TileBytes = std::size_t(TiledSize) * TiledSize * 4;
    constexpr std::size_t TotalBytes = TileBytes * Tiles;

    Image2D source = ImageTools::allocateWithFormat(PixelFormat::RGBA8Unorm, {4096, 4096});
    std::iota(source.data().begin(), source.data().end(), char{0});
    /* Every page touched up front, so that neither side pays for first faults */
    std::vector<char> tiles(TotalBytes, 1), copy(TotalBytes, 2);
    std::vector<MutableImageView2D> views;
    for (std::size_t i = 0; i != Tiles; ++i)
        views.emplace_back(PixelFormat::RGBA8Unorm, Vector2i{TiledSize},
                           std::span{tiles}.subspan(i * TileBytes, TileBytes));

    Bench::RatioTiming timing;
    for (auto _ : state)
        timing.run(
            state,
            [&] {
                for (std::uint32_t i = 0; i != Tiles; ++i)
                    ImageTools::tile(source, views[i], {TileSize, TileSize}, i, {Border, Border});
            },
            [&] { std::memcpy(copy.data(), tiles.data(), TotalBytes); });
    state.counters["ratio_to_memcpy"] = timing.ratio();
    state.counters["tile_ms"] = timing.measuredMedianSeconds() * 1e3;
    state.counters["memcpy_ms"] = timing.referenceMedianSeconds() * 1e3;
    state.counters["bytes_written"] = double(TotalBytes);
}
BENCHMARK(BM_ImageTile)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
