#include <cstring>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchmarkTiming.h"

#include "ZarvikEngine/Data/SceneGraph.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

namespace {

/* A random tree built in pre-order: each new object hangs under a random object of the path
   from the root to the previous one, so every subtree stays contiguous */
void buildRandomTree(SceneGraph& graph, std::size_t objects, std::size_t maxDepth,
                     std::mt19937& random) {
    std::vector<unsigned short> path{0};
    for (std::size_t i = 1; i != objects; ++i) {
        const std::size_t depth = std::uniform_int_distribution<std::size_t>{
            0, std::min(path.size(), maxDepth) - 1}(random);
        path.resize(depth + 1);
        const Id id = graph.addObjectUnsafe(path.back());
        path.push_back(graph.toIndex(id));
    }
}

void randomizeTransformations(SceneGraph& graph, std::mt19937& random) {
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    for (unsigned short i = 1; i != graph.size(); ++i) {
        const Vector3 axis = glm::normalize(Vector3{unit(random), unit(random), unit(random)} +
                                            Vector3{0.0f, 0.0f, 2.0f});
        graph.localTransformation(i) = dualQuaternionFromRotationTranslation(
            rotation(Rad{unit(random) * 3.0f}, axis),
            Vector3{unit(random), unit(random), unit(random)} * 10.0f);
        if (i % 4 == 0)
            graph.localScaling(i) = Vector3{1.0f + 0.5f * unit(random)};
    }
}

void BM_SceneGraphComputeAbsoluteTransformations(benchmark::State& state) {
    Debug quiet{nullptr};
    std::mt19937 random{42};
    SceneGraph graph{65535};
    buildRandomTree(graph, 65535, 16, random);
    randomizeTransformations(graph, random);

    constexpr std::size_t bytesPerObject = 96;
    std::vector<char> source(bytesPerObject * graph.size(), 1), destination(source.size());

    Bench::RatioTiming timing;
    for (auto _ : state)
        timing.run(
            state,
            [&] {
                graph.setDirty((unsigned short)0);
                graph.computeAbsoluteTransformations();
            },
            [&] {
                std::memcpy(destination.data(), source.data(), source.size());
                benchmark::DoNotOptimize(destination.data());
            });
    state.counters["ratio_to_memcpy"] = timing.ratio();
    state.counters["memcpy_ms"] = 1000.0 * timing.referenceMedianSeconds();
    state.SetItemsProcessed(std::int64_t(state.iterations()) * graph.size());
}
BENCHMARK(BM_SceneGraphComputeAbsoluteTransformations)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_SceneGraphAddObjects(benchmark::State& state) {
    Debug quiet{nullptr};
    constexpr std::size_t count = 16384;
    std::mt19937 random{7};
    for (auto _ : state) {
        state.PauseTiming();
        SceneGraph graph{count + 1};
        std::vector<Id> ids{Id(0)};
        ids.reserve(count + 1);
        state.ResumeTiming();
        for (std::size_t i = 0; i != count; ++i)
            ids.push_back(graph.addObject(
                ids[std::uniform_int_distribution<std::size_t>{0, ids.size() - 1}(random)]));
        benchmark::DoNotOptimize(ids.data());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations() * count));
}
BENCHMARK(BM_SceneGraphAddObjects)->Unit(benchmark::kMillisecond);

void BM_SceneGraphDeleteSubtrees(benchmark::State& state) {
    Debug quiet{nullptr};
    constexpr std::size_t count = 16384;
    std::mt19937 random{11};
    std::int64_t deleted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SceneGraph graph{count};
        buildRandomTree(graph, count, 16, random);
        state.ResumeTiming();
        while (graph.size() > 1) {
            const auto index = std::uniform_int_distribution<unsigned short>{
                1, (unsigned short)(graph.size() - 1)}(random);
            graph.deleteObjects(index);
        }
        deleted += count - 1;
    }
    state.SetItemsProcessed(deleted);
}
BENCHMARK(BM_SceneGraphDeleteSubtrees)->Unit(benchmark::kMillisecond);

} // namespace
