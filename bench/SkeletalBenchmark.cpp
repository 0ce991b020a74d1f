#include <cmath>
#include <cstddef>
#include <ctime>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchmarkTiming.h"

#include "ZarvikEngine/Skeletal/AnimationBuilder.h"
#include "ZarvikEngine/Skeletal/BlendingJob.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Skeletal;

namespace {

constexpr std::size_t TrackCount = 64;
constexpr float Duration = 2.0f;
constexpr int KeyRate = 30;
constexpr int FrameRate = 60;

/* Keys at 30 Hz on every channel of every track, values moving smoothly along random
   curves, as an imported and baked clip */
RawAnimation bakedRawClip(unsigned seed) {
    std::mt19937 random{seed};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    RawAnimation raw;
    raw.duration = Duration;
    raw.tracks.resize(TrackCount);
    for (RawAnimation::Track& track : raw.tracks) {
        const Vector3 phase{unit(random), unit(random), unit(random)};
        const Vector3 axis = glm::normalize(phase + Vector3{0.0f, 2.0f, 0.0f});
        for (int i = 0; i <= int(Duration) * KeyRate; ++i) {
            const float time = float(i) / KeyRate;
            const Vector3 wave{std::sin(time * 3.0f + phase.x), std::sin(time * 2.0f + phase.y),
                               std::sin(time * 5.0f + phase.z)};
            track.translations.push_back({time, wave * 10.0f});
            track.rotations.push_back({time, rotation(Rad{wave.x * 2.0f}, axis)});
            track.scales.push_back({time, Vector3{1.0f} + wave * 0.25f});
        }
    }
    return raw;
}

RuntimeAnimation bakedClip(unsigned seed) {
    return std::move(*AnimationBuilder{}(bakedRawClip(seed)));
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
    const RawAnimation raw = bakedRawClip(1);
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
