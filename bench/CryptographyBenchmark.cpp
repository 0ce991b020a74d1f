#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#define LTM_DESC
#include <tomcrypt.h>

#include "ZarvikEngine/Tools/Cryptography.h"

namespace ZarvikEngine {
namespace {

using Clock = std::chrono::steady_clock;

void BM_Sha256(benchmark::State& state) {
    Cryptography::init();
    std::vector<char> data(64 << 20);
    std::mt19937 random{7};
    for (char& byte : data)
        byte = char(random());
    const int hashId = find_hash("sha256");

    double ours = 0.0, reference = 0.0;
    bool referenceFirst = false;
    for (auto _ : state) {
        /* The direct library call, timed in the same iteration; the order alternates so that
           neither side always finds the data warm in cache */
        const auto hashDirectly = [&] {
            const Clock::time_point start = Clock::now();
            unsigned char digest[Cryptography::HashSize];
            unsigned long digestSize = sizeof(digest);
            hash_memory(hashId, reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                        digest, &digestSize);
            benchmark::DoNotOptimize(digest);
            reference += std::chrono::duration<double>(Clock::now() - start).count();
        };
        if (referenceFirst)
            hashDirectly();
        const Clock::time_point start = Clock::now();
        Cryptography::Hash digest = Cryptography::hash(data);
        benchmark::DoNotOptimize(digest);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!referenceFirst)
            hashDirectly();
        referenceFirst = !referenceFirst;

        ours += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["ratio_to_libtomcrypt"] = reference / ours;
    state.SetBytesProcessed(state.iterations() * std::int64_t(data.size()));
}
BENCHMARK(BM_Sha256)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
} // namespace ZarvikEngine
