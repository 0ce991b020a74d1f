#include <cmath>
#include <cstddef>
#include <ctime>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "BakedClip.h"
#include "BenchmarkTiming.h"

#include "ZarvikEngine/Skeletal/AnimationBuilder.h"
#include "ZarvikEngine/Skeletal/BlendingJob.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Skeletal;

namespace {

constexpr std::size_t TrackCount = Bench::BakedTrackCount;
constexpr float Duration = Bench::BakedDuration;
constexpr int FrameRate = 60;

RuntimeAnimation bakedClip(unsigned seed) {
    return std::move(*AnimationBuilder{}(Bench::bakedRawClip(seed)));
}

std::size_t keyCount(const RawAnimation& raw) {
    std::size_t count = 0;
    for (const RawAnimation::Track& track : raw.tracks)
        count += track.translations.size() + track.rotations.size() + track.scales.size();
    return count;
}

/* Nanoseconds per unit of work of each iteration, since start */
double nanosecondsPer(const benchmark::State& state, double start, double units) {
    return (Bench::threadSeconds() - start) * 1e9 / (double(state.iterations()) * units);
}

void BM_SkeletalSampleForward(benchmark::State& state) {
    const RuntimeAnimation clip = bakedClip(1);
    SamplingContext context{TrackCount};
    std::vector<SoaTransform> pose(clip.soaTrackCount());
    SamplingJob job;
    job.animation = &clip;
    job.context = &context;
    job.output = pose;
    constexpr int FramesPerLoop = int(Duration) * FrameRate;
    int frame = 0;
    const double start = Bench::threadSeconds();
    for (auto _ : state) {
        job.ratio = float(frame) / FramesPerLoop;
        frame = frame == FramesPerLoop ? 0 : frame + 1;
        benchmark::DoNotOptimize(job.run());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_track"] = nanosecondsPer(state, start, TrackCount);
}
BENCHMARK(BM_SkeletalSampleForward);

/* A paused clip, or several poses taken at one moment: no key is crossed */
void BM_SkeletalSampleSameRatio(benchmark::State& state) {
    const RuntimeAnimation clip = bakedClip(1);
    SamplingContext context{TrackCount};
    std::vector<SoaTransform> pose(clip.soaTrackCount());
    SamplingJob job;
    job.ratio = 0.3f;
    job.animation = &clip;
    job.context = &context;
    job.output = pose;
    job.run();
    const double start = Bench::threadSeconds();
    for (auto _ : state) {
        benchmark::DoNotOptimize(job.run());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_track"] = nanosecondsPer(state, start, TrackCount);
}
BENCHMARK(BM_SkeletalSampleSameRatio);

void BM_SkeletalSeek(benchmark::State& state) {
    const RuntimeAnimation clip = bakedClip(1);
    SamplingContext context{TrackCount};
    std::vector<SoaTransform> pose(clip.soaTrackCount());
    std::mt19937 random{7};
    std::uniform_real_distribution<float> unit{0.0f, 1.0f};
    std::vector<float> ratios(4096);
    for (float& ratio : ratios)
        ratio = unit(random);
    SamplingJob job;
    job.animation = &clip;
    job.context = &context;
    job.output = pose;
    std::size_t i = 0;
    const double start = Bench::threadSeconds();
    for (auto _ : state) {
        job.ratio = ratios[i++ % ratios.size()];
        benchmark::DoNotOptimize(job.run());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_track"] = nanosecondsPer(state, start, TrackCount);
}
BENCHMARK(BM_SkeletalSeek);

void BM_SkeletalBlend(benchmark::State& state) {
    constexpr std::size_t LayerCount = 4;
    const std::size_t soaTrackCount = TrackCount / 4;
    std::vector<std::vector<SoaTransform>> poses;
    for (unsigned i = 0; i != LayerCount; ++i) {
        const RuntimeAnimation clip = bakedClip(i + 1);
        SamplingContext context{TrackCount};
        poses.emplace_back(soaTrackCount);
        SamplingJob job;
        job.ratio = 0.3f;
        job.animation = &clip;
        job.context = &context;
        job.output = poses.back();
        job.run();
    }
    const std::vector<SoaTransform> restPose(soaTrackCount);
    std::vector<SoaTransform> output(soaTrackCount);
    /* Weights add up to 1, above the threshold: the rest pose isn't blended in */
    std::vector<BlendingLayer> layers;
    for (unsigned i = 0; i != LayerCount; ++i)
        layers.push_back({float(i + 1) / 10.0f, poses[i], {}});
    BlendingJob job;
    job.layers = layers;
    job.restPose = restPose;
    job.output = output;
    const double start = Bench::threadSeconds();
    for (auto _ : state) {
        benchmark::DoNotOptimize(job.run());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_track_per_layer"] =
        nanosecondsPer(state, start, TrackCount * LayerCount);
}
BENCHMARK(BM_SkeletalBlend);

/* Builds the clip; its size per key is the figure that matters */
void BM_SkeletalMemory(benchmark::State& state) {
    const RawAnimation raw = Bench::bakedRawClip(1);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto clip = AnimationBuilder{}(raw);
        bytes = clip->byteSize();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes_per_key"] = double(bytes) / double(keyCount(raw));
}
BENCHMARK(BM_SkeletalMemory);

} // namespace
