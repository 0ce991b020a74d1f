#include <cstring>
#include <random>
#include <span>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchmarkTiming.h"

#include "ZarvikEngine/Data/AssetChunk.h"

namespace ZarvikEngine::Data {
namespace {

constexpr std::size_t ChunkCount = 100000;

/* Payloads of 0 to 256 random bytes, views into one pool, the same in every run */
struct Payloads {
    std::vector<char> pool;
    std::vector<std::span<const char>> views;
};

Payloads randomPayloads() {
    std::mt19937 random{4};
    std::uniform_int_distribution<std::size_t> size{0, 256};
    std::vector<std::size_t> sizes(ChunkCount);
    std::size_t total = 0;
    for (std::size_t& s : sizes)
        total += s = size(random);

    Payloads payloads;
    payloads.pool.resize(total);
    std::uniform_int_distribution<int> byte{0, 255};
    for (char& c : payloads.pool)
        c = char(byte(random));
    std::size_t offset = 0;
    for (const std::size_t s : sizes) {
        payloads.views.push_back(std::span{payloads.pool}.subspan(offset, s));
        offset += s;
    }
    return payloads;
}

void BM_AssetFileAppendChunks(benchmark::State& state) {
    const Payloads payloads = randomPayloads();
    std::vector<char> copies(payloads.pool.size());
    /* One growable array for all iterations: it grows during the first, later ones append to
       memory that is already mapped, like the copy's target. Mapping fresh pages costs more
       than the copying itself on this kind of machine and would hide what is measured. */
    std::vector<char> file;
    Bench::RatioTiming timing;
    for (auto _ : state)
        timing.run(
            state,
            [&] {
                file.clear();
                appendHeaderData(file);
                for (const std::span<const char> payload : payloads.views)
                    AssetChunk::create(Magic::Scene, payload, file);
                updateHeaderData(file);
                benchmark::DoNotOptimize(file.data());
            },
            /* The bare copy of the same bytes */
            [&] {
                char* out = copies.data();
                for (const std::span<const char> payload : payloads.views) {
                    std::memcpy(out, payload.data(), payload.size());
                    out += payload.size();
                }
                benchmark::DoNotOptimize(copies.data());
            });
    state.counters["ratio_to_memcpy"] = timing.ratio();
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(ChunkCount));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(payloads.pool.size()));
}
BENCHMARK(BM_AssetFileAppendChunks)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace ZarvikEngine::Data
