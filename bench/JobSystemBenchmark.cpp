#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/JobSystem.h"

namespace ZarvikEngine {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int JobsPerIteration = 4000;
constexpr int Workers = 4;

/* Pure arithmetic, so that jobs compete for nothing but the processors */
std::uint64_t compute(int iterations, std::uint64_t seed) {
    std::uint64_t x = seed;
    for (int i = 0; i != iterations; ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        x ^= x >> 29;
    }
    return x;
}

/* Iterations of compute() that take about 10 microseconds on this machine */
int iterationsFor10Microseconds() {
    constexpr int Probe = 1 << 22;
    const Clock::time_point start = Clock::now();
    benchmark::DoNotOptimize(compute(Probe, 1));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return std::max(1, int(Probe * 10e-6 / seconds));
}

/* Runs JobsPerIteration jobs of about 10 microseconds each in chains, each job of a chain
   depending on the one before, and compares the time with the same work done on this thread
   alone spread evenly over the processors */
void runChainsAgainstIdeal(benchmark::State& state, int chainLength) {
    const int iterations = iterationsFor10Microseconds();
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 5u);
    std::vector<std::uint64_t> results(JobsPerIteration);
    std::vector<int> ids(JobsPerIteration);
    std::unique_ptr<JobSystem> jobs;
    {
        Debug silence{nullptr};
        jobs = std::make_unique<JobSystem>(Workers);
    }

    double serialSeconds = 0.0, parallelSeconds = 0.0;
    for (auto _ : state) {
        /* The same computation on this thread alone is the reference */
        const Clock::time_point serialStart = Clock::now();
        for (int i = 0; i != JobsPerIteration; ++i)
            results[i] = compute(iterations, i);
        benchmark::DoNotOptimize(results.data());
        const Clock::time_point parallelStart = Clock::now();
        for (int i = 0; i != JobsPerIteration; ++i) {
            const std::span<const int> previous =
                i % chainLength ? std::span{&ids[i - 1], 1} : std::span<const int>{};
            ids[i] = jobs->dispatchFunc(
                [&results, iterations, i](JobSystem&, int) {
                    results[i] = compute(iterations, i);
                    return JobResult::Success;
                },
                previous);
            if (ids[i] == -1) {
                state.SkipWithError("the ring is full");
                return;
            }
        }
        jobs->waitForIdle();
        benchmark::DoNotOptimize(results.data());
        const Clock::time_point end = Clock::now();

        serialSeconds += std::chrono::duration<double>(parallelStart - serialStart).count();
        const double parallel = std::chrono::duration<double>(end - parallelStart).count();
        parallelSeconds += parallel;
        state.SetIterationTime(parallel);
    }
    state.counters["ratio_to_ideal"] = parallelSeconds / (serialSeconds / threads);
    state.counters["job_us"] =
        serialSeconds / (double(state.iterations()) * JobsPerIteration) * 1e6;
    state.counters["threads"] = threads;
    state.SetItemsProcessed(state.iterations() * JobsPerIteration);
}

void BM_JobSystemThroughput(benchmark::State& state) {
    runChainsAgainstIdeal(state, 1);
}
BENCHMARK(BM_JobSystemThroughput)->UseManualTime()->Unit(benchmark::kMillisecond);

/* Most queued jobs wait for the one before them in their chain */
void BM_JobSystemBlockedDependencies(benchmark::State& state) {
    runChainsAgainstIdeal(state, 8);
}
BENCHMARK(BM_JobSystemBlockedDependencies)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_JobSystemEmptyJobs(benchmark::State& state) {
    std::unique_ptr<JobSystem> jobs;
    {
        Debug silence{nullptr};
        jobs = std::make_unique<JobSystem>(Workers);
    }
    for (auto _ : state) {
        for (int i = 0; i != JobsPerIteration; ++i) {
            if (jobs->dispatchFunc([](JobSystem&, int) { return JobResult::Success; }) == -1) {
                state.SkipWithError("the ring is full");
                return;
            }
        }
        jobs->waitForIdle();
    }
    state.SetItemsProcessed(state.iterations() * JobsPerIteration);
}
BENCHMARK(BM_JobSystemEmptyJobs)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace ZarvikEngine
