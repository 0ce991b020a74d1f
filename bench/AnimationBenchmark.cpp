#include <cstddef>
#include <vector>

#include <benchmark/benchmark.h>

#include "BakedClip.h"
#include "BenchmarkTiming.h"

#include "ZarvikEngine/Data/AnimationManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Skeletal/BlendingJob.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

namespace {

constexpr std::size_t ComponentCount = 256;
constexpr std::size_t TrackCount = Bench::BakedTrackCount;
constexpr std::size_t PoseSize = (TrackCount + 3) / 4;
constexpr double FrameTime = 1.0 / 60.0;

Animation bakedAnimation(unsigned seed) {
    return std::move(*Animation::build(Bench::bakedRawClip(seed), {}, {}));
}

/* Only the runtime's part of one component: both clips sampled at the ratios the component
   has, then blended */
struct RuntimeWork {
    Skeletal::SamplingContext contexts[2]{Skeletal::SamplingContext{TrackCount},
                                          Skeletal::SamplingContext{TrackCount}};
    std::vector<Skeletal::SoaTransform> poses[2]{std::vector<Skeletal::SoaTransform>(PoseSize),
                                                 std::vector<Skeletal::SoaTransform>(PoseSize)};
    std::vector<Skeletal::SoaTransform> blended = std::vector<Skeletal::SoaTransform>(PoseSize);
};

void BM_AnimationManagerUpdate(benchmark::State& state) {
    Debug quiet{nullptr};
    std::vector<Animation> clips;
    clips.emplace_back();
    clips.push_back(bakedAnimation(1));
    clips.push_back(bakedAnimation(2));
    std::vector<AnimationGraph> graphs(1);
    AnimationGraph& graph = graphs.emplace_back();
    const std::uint16_t blend = graph.addBlendNode();
    graph.connectOutputNode(graph.addOutputNode(), AnimationNodeType::Blend, blend);
    graph.connectBlendNodeInput(blend, AnimationNodeType::Sample, graph.addSampleNode(1, 1.0f),
                                0.6f);
    graph.connectBlendNodeInput(blend, AnimationNodeType::Sample, graph.addSampleNode(2, 1.0f),
                                0.4f);

    /* A skeleton per component: a character under the root for the root-motion track, the
       other tracks' bones in a tree under it */
    SceneGraph scene{std::uint16_t(1 + ComponentCount * TrackCount), 1,
                     std::uint16_t(ComponentCount)};
    AnimationManager animations{ComponentCount};
    scene.setComponentManager(0, "animation", &animations);
    for (std::size_t c = 0; c != ComponentCount; ++c) {
        std::vector<Id> targets{scene.addObject(Id(0))};
        for (std::size_t t = 1; t != TrackCount; ++t)
            targets.push_back(scene.addObject(targets[t / 2]));
        const Id id = animations.addComponent(targets[1]);
        animations.setAnimationGraph(id, 1, graph, targets, clips);
        animations.activate(id);
        animations.play(id);
    }

    std::vector<RuntimeWork> runtime(ComponentCount);
    std::vector<Skeletal::BlendingLayer> layers(2);
    const std::vector<Skeletal::SoaTransform> rest(PoseSize);
    Bench::RatioTiming timing;
    for (auto _ : state)
        timing.run(
            state,
            [&] {
                animations.update(FrameTime);
                animations.updateGraphs(graphs, clips);
                scene.computeAbsoluteTransformations();
            },
            [&] {
                for (std::size_t c = 0; c != ComponentCount; ++c) {
                    RuntimeWork& work = runtime[c];
                    const AnimationGraphState& graphState =
                        animations.controller(std::uint16_t(c)).graphState();
                    for (unsigned j = 0; j != 2; ++j) {
                        Skeletal::SamplingJob sampling;
                        sampling.ratio = graphState.player(j).ratio();
                        sampling.animation = clips[j + 1].runtimeAnimation();
                        sampling.context = &work.contexts[j];
                        sampling.output = work.poses[j];
                        sampling.run();
                        layers[j] = {graph.blendNode(0).weights[j], work.poses[j], {}};
                    }
                    Skeletal::BlendingJob blending;
                    blending.layers = layers;
                    blending.restPose = rest;
                    blending.output = work.blended;
                    blending.run();
                }
                benchmark::DoNotOptimize(runtime.data());
            });
    state.counters["ratio_to_runtime"] = timing.ratio();
    state.counters["ns_per_component_track"] =
        1.0e9 * timing.measuredMedianSeconds() / double(ComponentCount * TrackCount);
    state.SetItemsProcessed(std::int64_t(state.iterations() * ComponentCount));
}
BENCHMARK(BM_AnimationManagerUpdate)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
