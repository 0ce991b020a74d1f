#ifndef ZarvikEngine_Bench_BakedClip_h
#define ZarvikEngine_Bench_BakedClip_h

#include <cmath>
#include <cstddef>
#include <random>

#include "ZarvikEngine/Skeletal/RawAnimation.h"

namespace ZarvikEngine::Bench {

/* The clip the animation benchmarks play: 64 tracks, 2 s */
constexpr std::size_t BakedTrackCount = 64;
constexpr float BakedDuration = 2.0f;
constexpr int BakedKeyRate = 30;

/* Keys at 30 Hz on every channel of every track, values moving smoothly along random
   curves, as an imported and baked clip */
inline Skeletal::RawAnimation bakedRawClip(unsigned seed) {
    std::mt19937 random{seed};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    Skeletal::RawAnimation raw;
    raw.duration = BakedDuration;
    raw.tracks.resize(BakedTrackCount);
    for (Skeletal::RawAnimation::Track& track : raw.tracks) {
        const Vector3 phase{unit(random), unit(random), unit(random)};
        const Vector3 axis = glm::normalize(phase + Vector3{0.0f, 2.0f, 0.0f});
        for (int i = 0; i <= int(BakedDuration) * BakedKeyRate; ++i) {
            const float time = float(i) / BakedKeyRate;
            const Vector3 wave{std::sin(time * 3.0f + phase.x), std::sin(time * 2.0f + phase.y),
                               std::sin(time * 5.0f + phase.z)};
            track.translations.push_back({time, wave * 10.0f});
            track.rotations.push_back({time, rotation(Rad{wave.x * 2.0f}, axis)});
            track.scales.push_back({time, Vector3{1.0f} + wave * 0.25f});
        }
    }
    return raw;
}

} // namespace ZarvikEngine::Bench

#endif
