#ifndef ZarvikEngine_Tests_Skeletal_SkeletalTestHelpers_h
#define ZarvikEngine_Tests_Skeletal_SkeletalTestHelpers_h

#include <cstring>
#include <span>
#include <vector>

#include "ZarvikEngine/Skeletal/AnimationBuilder.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"

namespace ZarvikEngine::Skeletal::Test {

/* The whole pose, through a fresh context */
inline std::vector<SoaTransform> samplePose(const RuntimeAnimation& clip, float ratio) {
    SamplingContext context{clip.trackCount()};
    std::vector<SoaTransform> pose(clip.soaTrackCount());
    EXPECT_TRUE((SamplingJob{ratio, &clip, &context, pose}.run()));
    return pose;
}

struct TrackSample {
    Vector3 translation;
    Quaternion rotation;
    Vector3 scale;
};

inline TrackSample sampleTrack(const RuntimeAnimation& clip, std::size_t track, float ratio) {
    const SoaTransform element = samplePose(clip, ratio)[track / 4];
    return {element.translation.get(track % 4), element.rotation.get(track % 4),
            element.scale.get(track % 4)};
}

inline bool sameBits(std::span<const SoaTransform> a, std::span<const SoaTransform> b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size_bytes()) == 0;
}

inline bool isIdentity(const SoaTransform& transform, std::size_t lane) {
    return transform.translation.get(lane) == Vector3{0.0f} &&
           transform.rotation.get(lane) == Quaternion{} &&
           transform.scale.get(lane) == Vector3{1.0f};
}

} // namespace ZarvikEngine::Skeletal::Test

#endif
