#include <cstddef>

#include <benchmark/benchmark.h>

#include "ZarvikEngine/BitSet.h"

namespace {

using ZarvikEngine::BitSet;

/* The flags of a full scene graph with only the last object flagged, so every word is read */
constexpr std::size_t FlagCount = 65536;

BitSet lastFlagSet() {
    BitSet flags{FlagCount};
    flags.set(FlagCount - 1);
    return flags;
}

void reportBitsPerSecond(benchmark::State& state) {
    state.counters["bits_per_second"] = benchmark::Counter(
        double(FlagCount) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_BitSetCountSet(benchmark::State& state) {
    const BitSet flags = lastFlagSet();
    for (auto _ : state)
        benchmark::DoNotOptimize(flags.countSet());
    reportBitsPerSecond(state);
}
BENCHMARK(BM_BitSetCountSet);

void BM_BitSetFindFirstSet(benchmark::State& state) {
    const BitSet flags = lastFlagSet();
    for (auto _ : state)
        benchmark::DoNotOptimize(flags.findFirstSet(0, FlagCount - 1));
    reportBitsPerSecond(state);
}
BENCHMARK(BM_BitSetFindFirstSet);

} // namespace
