#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchmarkTiming.h"
#include "ZarvikEngine/Data/CollisionManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

namespace {

constexpr int ShapeCount = 4096, RayCount = 1024;

/* 4,096 active shapes of all three kinds in random order, on objects under 64 rotated and
   moved parents, and 1,024 random rays per iteration through a clean scene */
void BM_CollisionRayCast(benchmark::State& state) {
    Debug quiet{nullptr};
    std::mt19937 random{5};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f}, size{0.2f, 1.5f};
    const auto randomRotation = [&] {
        return glm::normalize(
            quaternionFromXyzw(unit(random), unit(random), unit(random), unit(random)));
    };
    SceneGraph graph{ShapeCount + 65, 1, ShapeCount};
    CollisionManager collisions{ShapeCount};
    graph.setComponentManager(0, "collision", &collisions);
    std::vector<Id> parents;
    for (int i = 0; i != 64; ++i) {
        parents.push_back(graph.addObject(Id(0)));
        graph.localTransformation(parents.back()) = dualQuaternionFromRotationTranslation(
            randomRotation(), Vector3{unit(random), unit(random), unit(random)} * 20.0f);
    }
    for (int i = 0; i != ShapeCount; ++i) {
        const Id object = graph.addObject(parents[random() % parents.size()]);
        graph.localTransformation(object) = dualQuaternionFromRotationTranslation(
            randomRotation(), Vector3{unit(random), unit(random), unit(random)} * 30.0f);
        const Id shape = collisions.addComponent(object);
        collisions.collider(shape) = ColliderType(random() % 3);
        collisions.extents(shape) = {size(random), size(random), size(random)};
        collisions.group(shape) = std::uint8_t(1u << random() % 8);
        collisions.activate(shape);
    }
    for (const Id parent : parents)
        graph.setDirty(parent);
    graph.computeAbsoluteTransformations();

    std::vector<std::pair<Vector3, Vector3>> rays;
    for (int i = 0; i != RayCount; ++i)
        rays.emplace_back(Vector3{unit(random), unit(random), unit(random)} * 60.0f,
                          glm::normalize(Vector3{unit(random), unit(random), unit(random)}));

    std::size_t hits = 0;
    const double start = Bench::threadSeconds();
    for (auto _ : state) {
        RayHit hit{};
        for (const auto& [origin, direction] : rays) {
            collisions.rayCast(origin, direction, 0xff, 200.0f, hit);
            hits += hit.hitCount;
        }
        benchmark::DoNotOptimize(hit);
    }
    const double tests = double(state.iterations()) * RayCount * ShapeCount;
    state.counters["ns_per_shape_test"] = (Bench::threadSeconds() - start) * 1e9 / tests;
    state.counters["hits_per_ray"] = double(hits) / (double(state.iterations()) * RayCount);
}
BENCHMARK(BM_CollisionRayCast)->Unit(benchmark::kMillisecond);

} // namespace
