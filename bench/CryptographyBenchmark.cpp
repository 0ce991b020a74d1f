#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchmarkTiming.h"

#define LTM_DESC
#include <tomcrypt.h>

#include "ZarvikEngine/Tools/Cryptography.h"

namespace ZarvikEngine {
namespace {

void BM_Sha256(benchmark::State& state) {
    Cryptography::init();
    std::vector<char> data(64 << 20);
    std::mt19937 random{7};
    for (char& byte : data)
        byte = char(random());
    const int hashId = find_hash("sha256");

    Bench::RatioTiming timing;
    for (auto _ : state)
        timing.run(
            state,
            [&] {
                Cryptography::Hash digest = Cryptography::hash(data);
                benchmark::DoNotOptimize(digest);
            },
            /* The direct library call */
            [&] {
                unsigned char digest[Cryptography::HashSize];
                unsigned long digestSize = sizeof(digest);
                hash_memory(hashId, reinterpret_cast<const unsigned char*>(data.data()),
                            data.size(), digest, &digestSize);
                benchmark::DoNotOptimize(digest);
            });
    /* Throughput relative to the library's: above one is faster */
    state.counters["ratio_to_libtomcrypt"] = 1.0 / timing.ratio();
    state.SetBytesProcessed(state.iterations() * std::int64_t(data.size()));
}
BENCHMARK(BM_Sha256)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
} // namespace ZarvikEngine
