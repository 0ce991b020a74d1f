#include <cmath>
#include <limits>
#include <random>
#include <utility>

#include <gtest/gtest.h>

#include "SkeletalTestHelpers.h"

namespace ZarvikEngine::Skeletal {
namespace {

using Test::samplePose;
using Test::sampleTrack;
using Test::TrackSample;

constexpr float Infinity = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float S = 0.70710678f;

/* Two tracks, the second with rotation keys at the given times */
RawAnimation rotationsAt(std::initializer_list<float> times, float duration = 1.0f) {
    RawAnimation raw;
    raw.duration = duration;
    raw.tracks.resize(2);
    for (float time : times)
        raw.tracks[1].rotations.push_back({time, {}});
    return raw;
}

TEST(SkeletalAnimationBuilder, BuildsOnlyValidAnimations) {
    RawAnimation maxTracks, tooManyTracks, separateLists, badValues;
    maxTracks.tracks.resize(1024);
    tooManyTracks.tracks.resize(1025);
    separateLists.tracks.resize(1);
    separateLists.tracks[0].translations = {{0.5f, {}}};
    separateLists.tracks[0].rotations = {{0.2f, {}}, {0.5f, {}}};
    separateLists.tracks[0].scales = {{0.5f, {}}};
    badValues.tracks.resize(1);
    badValues.tracks[0].translations = {{0.0f, Vector3{NaN}}};
    badValues.tracks[0].rotations = {{0.0f, quaternionFromXyzw(0, 0, 0, 0)}};
    badValues.tracks[0].scales = {{0.0f, Vector3{-Infinity}}};

    const struct {
        const char* name;
        RawAnimation raw;
        bool valid;
    } cases[]{
        {"default", RawAnimation{}, true},
        {"ends included", rotationsAt({-0.0f, 0.5f, 1.0f}), true},
        {"zero duration", rotationsAt({}, 0.0f), false},
        {"negative duration", rotationsAt({}, -1.0f), false},
        {"NaN duration", rotationsAt({}, NaN), false},
        {"infinite duration", rotationsAt({}, Infinity), false},
        {"1024 tracks", maxTracks, true},
        {"1025 tracks", tooManyTracks, false},
        {"each list on its own", separateLists, true},
        {"values unchecked", badValues, true},
        {"negative time", rotationsAt({-0.1f}), false},
        {"past the end", rotationsAt({std::nextafter(1.0f, 2.0f)}), false},
        {"equal times", rotationsAt({0.5f, 0.5f}), false},
        {"decreasing times", rotationsAt({0.6f, 0.5f}), false},
        {"NaN time", rotationsAt({NaN}), false},
        {"NaN between", rotationsAt({0.2f, NaN, 0.8f}), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.raw.validate(), c.valid);
        EXPECT_EQ(AnimationBuilder{}(c.raw) != nullptr, c.valid);
    }

    /* Per track, an infinite duration checks only order and sign */
    RawAnimation::Track track;
    track.scales = {{5.0f, {}}, {1000.0f, {}}};
    EXPECT_TRUE(track.validate(Infinity));
    EXPECT_FALSE(track.validate(1.0f));
    track.scales = {{-1.0f, {}}};
    EXPECT_FALSE(track.validate(Infinity));
}

/* count distinct key times, 0 and the end included, over two tracks and channels: whole
   seconds of a clip lasting count − 1 seconds. Track 0 translates at the times up to the
   middle, track 1 scales at those from the first quarter to the end, so that some are on
   both. Every value is the key's time modulo 2. */
RawAnimation keyedAtTimes(std::size_t count) {
    RawAnimation raw;
    raw.duration = float(count - 1);
    raw.tracks.resize(2);
    for (std::size_t time = 1; time <= (count - 1) / 2; ++time)
        raw.tracks[0].translations.push_back({float(time), {float(time % 2), 0.0f, 0.0f}});
    for (std::size_t time = (count - 1) / 4; time <= count - 1; ++time)
        raw.tracks[1].scales.push_back({float(time), Vector3{float(time % 2)}});
    return raw;
}

TEST(SkeletalAnimationBuilder, FailsAboveTheDistinctKeyTimeLimit) {
    /* Below 256 distinct times keys refer to theirs with one byte, above with two */
    for (std::size_t count : {std::size_t{256}, std::size_t{257}, AnimationBuilder::MaxKeyTimes}) {
        SCOPED_TRACE(count);
        const RawAnimation raw = keyedAtTimes(count);
        const auto clip = AnimationBuilder{}(raw);
        ASSERT_TRUE(clip);
        const std::size_t middle = (count - 1) / 2, last = count - 2;
        const struct {
            std::size_t track;
            float time;
            float x;
        } samples[]{
            {0, float(middle - 1), float((middle - 1) % 2)},
            {0, float(middle) - 0.5f, 0.5f},
            {0, raw.duration, float(middle % 2)},
            {1, 1.0f, float((count - 1) / 4 % 2)},
            {1, float(last), float(last % 2)},
            {1, float(last) + 0.5f, 0.5f},
            {1, raw.duration, float((last + 1) % 2)},
        };
        for (const auto& s : samples) {
            const TrackSample sample = sampleTrack(*clip, s.track, s.time / raw.duration);
            EXPECT_NEAR(s.track == 0 ? sample.translation.x : sample.scale.x, s.x, 1e-3f)
                << s.track << " " << s.time;
        }
    }
    EXPECT_FALSE(AnimationBuilder{}(keyedAtTimes(AnimationBuilder::MaxKeyTimes + 1)));

    /* A time that another track or channel already has adds none */
    RawAnimation shared = keyedAtTimes(AnimationBuilder::MaxKeyTimes);
    shared.tracks[1].rotations = {{1.0f, {}}, {shared.duration - 1.0f, {}}};
    EXPECT_TRUE(AnimationBuilder{}(shared));
    shared.tracks[1].rotations.push_back({shared.duration - 0.5f, {}});
    EXPECT_FALSE(AnimationBuilder{}(shared));
}

TEST(SkeletalAnimationBuilder, TakesFewBytesPerKey) {
    /* Every channel of 64 tracks keyed at 30 Hz for 2 s, as a baked clip; then 1000 distinct
       times, which need two bytes per key for the time */
    for (const auto& [keysPerChannel, bytesPerKey] : {std::pair{61, 8.0}, std::pair{1000, 9.0}}) {
        RawAnimation raw;
        raw.duration = 2.0f;
        raw.tracks.resize(64);
        for (RawAnimation::Track& track : raw.tracks)
            for (int i = 0; i != keysPerChannel; ++i) {
                const float time = raw.duration * float(i) / float(keysPerChannel - 1);
                track.translations.push_back({time, Vector3{float(i)}});
                track.rotations.push_back({time, {}});
                track.scales.push_back({time, Vector3{1.0f}});
            }
        const std::size_t keyCount = 64 * 3 * std::size_t(keysPerChannel);
        EXPECT_LT(double(AnimationBuilder{}(raw)->byteSize()) / double(keyCount), bytesPerKey)
            << keysPerChannel;
    }
}

TEST(SkeletalAnimationBuilder, KeepsDurationNameAndTrackCountAndMoves) {
    RawAnimation raw;
    raw.duration = 2.5f;
    raw.name = "walk";
    raw.tracks.resize(5);
    raw.tracks[4].translations = {{1.0f, {1.0f, 2.0f, 3.0f}}};
    RuntimeAnimation clip = std::move(*AnimationBuilder{}(raw));
    RuntimeAnimation moved{std::move(clip)}, assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned.duration(), 2.5f);
    EXPECT_EQ(assigned.name(), "walk");
    EXPECT_EQ(assigned.trackCount(), 5u);
    EXPECT_EQ(assigned.soaTrackCount(), 2u);
    EXPECT_EQ(sampleTrack(assigned, 4, 0.0f).translation, Vector3(1.0f, 2.0f, 3.0f));
    /* A moved-from animation is like a default-constructed one */
    EXPECT_EQ(clip.duration(), 0.0f);
    EXPECT_EQ(clip.trackCount(), 0u);
    EXPECT_EQ(clip.soaTrackCount(), 0u);
    EXPECT_EQ(clip.name(), "");
}

TEST(SkeletalAnimationBuilder, StoresTranslationsAndScalesAsHalfFloats) {
    /* One single-key track per value, so every sample is the stored key */
    const float values[]{1000.3f,         1.2345f,  3.14159f, 2049.0f, -2049.0f,
                         1.0f + 0x1p-11f, 65519.0f, 3e-8f,    2.9e-8f, -0.0f};
    const float expected[]{1000.5f,         1.234375f, 3.140625f, 2050.0f, -2050.0f,
                           1.0f + 0x1p-10f, 65504.0f,  0x1p-24f,  0.0f,    -0.0f};
    RawAnimation raw;
    for (float value : values) {
        RawAnimation::Track& track = raw.tracks.emplace_back();
        track.translations = {{0.3f, Vector3{value, 0.0f, -value}}};
        track.scales = {{0.7f, Vector3{1.0f, value, 1.0f}}};
    }
    raw.tracks.emplace_back().translations = {{0.0f, {65520.0f, 0.0f, 0.0f}},
                                              {1.0f, {65520.0f, 0.0f, 0.0f}}};
    const auto clip = AnimationBuilder{}(raw);

    for (float ratio : {0.0f, 0.5f, 1.0f}) {
        const std::vector<SoaTransform> pose = samplePose(*clip, ratio);
        for (std::size_t i = 0; i != std::size(values); ++i) {
            SCOPED_TRACE(values[i]);
            EXPECT_EQ(pose[i / 4].translation.get(i % 4), Vector3(expected[i], 0.0f, -expected[i]));
            EXPECT_EQ(pose[i / 4].scale.get(i % 4), Vector3(1.0f, expected[i], 1.0f));
        }
        /* Overflow becomes infinity, which interpolates to NaN at every ratio */
        EXPECT_TRUE(std::isnan(pose[2].translation.x[2]));
    }
}

TEST(SkeletalAnimationBuilder, NormalizesAndQuantizesRotations) {
    /* Exact: identity, a zero quaternion, non-unit keys; w is made ≥ 0 */
    const struct {
        Quaternion key, expected;
    } exact[]{
        {quaternionFromXyzw(0, 0, 0, 1), quaternionFromXyzw(0, 0, 0, 1)},
        {quaternionFromXyzw(0, 0, 0, -1), quaternionFromXyzw(0, 0, 0, 1)},
        {quaternionFromXyzw(0, 0, 0, 0), quaternionFromXyzw(0, 0, 0, 1)},
        {quaternionFromXyzw(0, 0, 0, 2), quaternionFromXyzw(0, 0, 0, 1)},
        {quaternionFromXyzw(0, -3, 0, 0), quaternionFromXyzw(0, -1, 0, 0)},
    };
    RawAnimation raw;
    for (const auto& c : exact)
        raw.tracks.emplace_back().rotations = {{0.4f, c.key}};
    /* Random rotations: within the documented precision */
    std::mt19937 random{5};
    std::normal_distribution<float> normal;
    std::vector<Quaternion> randomKeys;
    for (int i = 0; i != 500; ++i) {
        randomKeys.push_back(
            quaternionFromXyzw(normal(random), normal(random), normal(random), normal(random)));
        raw.tracks.emplace_back().rotations = {{0.4f, randomKeys.back()}};
    }
    const std::vector<SoaTransform> pose = samplePose(*AnimationBuilder{}(raw), 0.5f);

    for (std::size_t i = 0; i != std::size(exact); ++i)
        EXPECT_EQ(pose[i / 4].rotation.get(i % 4), exact[i].expected) << i;
    for (std::size_t i = 0; i != randomKeys.size(); ++i) {
        const std::size_t track = std::size(exact) + i;
        const Quaternion sample = pose[track / 4].rotation.get(track % 4);
        Quaternion expected = glm::normalize(randomKeys[i]);
        if (expected.w < 0.0f)
            expected = -expected;
        for (int c = 0; c != 4; ++c)
            EXPECT_NEAR(sample[c], expected[c], 3.2e-5f) << i;
        EXPECT_LT(glm::length(sample - expected), 3.75e-5f) << i; /* angle below 7.5e-5 */
    }

    /* The first key goes into w ≥ 0, each later one into its predecessor's hemisphere, so
       that the interpolation takes the short way */
    RawAnimation chain;
    chain.tracks.resize(2);
    chain.tracks[0].rotations = {{0.0f, quaternionFromXyzw(0, 0, 0, -1)},
                                 {1.0f, quaternionFromXyzw(0, 1, 0, 0)}};
    chain.tracks[1].rotations = {{0.0f, quaternionFromXyzw(0, 0, 0, 1)},
                                 {1.0f, quaternionFromXyzw(0, -S, 0, -S)}};
    const auto chainClip = AnimationBuilder{}(chain);
    const struct {
        std::size_t track;
        float ratio;
        Quaternion expected;
    } samples[]{
        {0, 0.0f, quaternionFromXyzw(0, 0, 0, 1)},
        {0, 0.5f, quaternionFromXyzw(0, S, 0, S)},
        {0, 1.0f, quaternionFromXyzw(0, 1, 0, 0)},
        {1, 0.5f, quaternionFromXyzw(0, 0.3826834f, 0, 0.9238795f)},
        {1, 1.0f, quaternionFromXyzw(0, S, 0, S)},
    };
    for (const auto& s : samples) {
        const Quaternion sample = sampleTrack(*chainClip, s.track, s.ratio).rotation;
        for (int c = 0; c != 4; ++c)
            EXPECT_NEAR(sample[c], s.expected[c], 3.2e-5f) << s.track << " " << s.ratio;
    }
}

} // namespace
} // namespace ZarvikEngine::Skeletal
